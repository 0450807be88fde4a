/* A plug-in for qemu's user-mode emulator that counts the guest instructions executed and
   reports the count at each marker system call of the guest (count_marker.h), one line
   "sorvan-mark NUMBER INSTRUCTIONS" through qemu's plug-in log (`-d plugin`). Run as
     qemu-aarch64 -plugin ./count_plugin.so -d plugin PROGRAM ...
   Each translated block adds its instruction count to the counter when it starts executing, so
   at a system call, which ends its block, the count is exact. One guest thread: the counter is
   not shared safely between several. */
#include <inttypes.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "count_marker.h"

/* The part of qemu's plug-in interface used here (API version 1: qemu 7.2), declared from its
   documented C interface; Debian ships qemu with plug-in support but not the header. */
typedef uint64_t qemu_plugin_id_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
typedef void (*qemu_plugin_vcpu_tb_trans_cb_t)(qemu_plugin_id_t id, struct qemu_plugin_tb* tb);
typedef void (*qemu_plugin_vcpu_syscall_cb_t)(qemu_plugin_id_t id, unsigned int vcpu_index, int64_t num, uint64_t a1,
                                              uint64_t a2, uint64_t a3, uint64_t a4, uint64_t a5, uint64_t a6,
                                              uint64_t a7, uint64_t a8);
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_tb_trans_cb_t cb);
void qemu_plugin_register_vcpu_syscall_cb(qemu_plugin_id_t id, qemu_plugin_vcpu_syscall_cb_t cb);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb* tb);
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb* tb, enum qemu_plugin_op op, void* ptr,
                                              uint64_t imm);
void qemu_plugin_outs(const char* string);

#define EXPORTED __attribute__((visibility("default")))

EXPORTED int qemu_plugin_version = 1;

static uint64_t executed;

static void OnTranslate(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
  (void)id;
  qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &executed, qemu_plugin_tb_n_insns(tb));
}

static void OnSyscall(qemu_plugin_id_t id, unsigned int vcpu, int64_t number, uint64_t a1, uint64_t a2, uint64_t a3,
                      uint64_t a4, uint64_t a5, uint64_t a6, uint64_t a7, uint64_t a8) {
  (void)id, (void)vcpu, (void)number, (void)a3, (void)a4, (void)a5, (void)a6, (void)a7, (void)a8;
  if (a1 != SORVAN_COUNT_MARKER) return;
  char line[64];
  snprintf(line, sizeof line, "sorvan-mark %" PRIu64 " %" PRIu64 "\n", a2, executed);
  qemu_plugin_outs(line);
}

EXPORTED int qemu_plugin_install(qemu_plugin_id_t id, const void* info, int argc, char** argv) {
  (void)info, (void)argv;
  if (argc != 0) return -1;
  qemu_plugin_register_vcpu_tb_trans_cb(id, OnTranslate);
  qemu_plugin_register_vcpu_syscall_cb(id, OnSyscall);
  return 0;
}
