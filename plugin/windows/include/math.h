/* The part of <math.h> the plug-in uses, as msvcrt.dll provides it (both Windows builds). */
#pragma once
#ifdef __cplusplus
extern "C" {
#endif
double __cdecl pow(double base, double exponent);
double __cdecl sqrt(double value);
#ifdef __cplusplus
}
#endif
