/*
 * scan.h - public interface of the fringe-analysis engine (libscan).
 *
 * One camera image of a projected fringe pattern in, one height profile out.
 * The engine keeps a single static context; every function that takes a
 * handle does nothing when the handle is null.
 *
 * Coordinates: row 0 of an image is the first row stored in the bitmap file,
 * which is the bottom row of the picture. Heights are in mm.
 *
 * This header is plain C: it must stay acceptable to a C compiler.
 */
#ifndef SCAN_H
#define SCAN_H

#include <stdint.h>

#if defined(_WIN32)
#  define SCN_API __declspec(dllexport)
#else
#  define SCN_API __attribute__((visibility("default")))
#endif

/* To C++ callers the functions are noexcept: nothing is thrown across this
 * interface, whatever fails inside (out of memory included). */
#ifdef __cplusplus
#  define SCN_NOEXCEPT noexcept
#else
#  define SCN_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The ten scan parameters, in the order and widths of the parameter file. */
typedef struct ScnPar {
    int32_t NFilt;      /* smoothing passes; 0 or less: none                   */
    int32_t FlawThr;    /* flaw-test threshold, 1/256 period; >= 128: no test  */
    double LambdaF;     /* fringe period, pixels                               */
    double CamResX;     /* pixel size in x, mm per pixel                       */
    double CamResY;     /* pixel size in y, mm per pixel                       */
    double Alpha;       /* triangulation angle, degrees                        */
    double MaskRadius;  /* radius of the evaluation ellipse, mm                */
    double MaskXOfs;    /* x offset of its centre from the image centre, mm    */
    double MaskYOfs;    /* y offset of its centre from the image centre, mm    */
    double DepthLimit;  /* height of points without data, and the lower bound */
} ScnPar;

/* Opaque handle of the engine's context. */
typedef struct ScnContext *ScnHandle;

/* Results of scn_LoadImage. */
enum {
    SCN_OK = 0,
    SCN_FAILED = 1
};

/* Planes readable through scn_ReadImageLine (8-bit, one byte per pixel). */
enum {
    SCN_PLANE_SOURCE = 0, /* last loaded camera image                      */
    SCN_PLANE_WORK = 1,   /* smoothed image, then the wrapped phase         */
    SCN_PLANE_MASK = 2,   /* evaluation mask, then the fringe orders        */
    SCN_PLANE_SPARE = 3   /* never written by the engine                    */
};

/* Lifecycle */
SCN_API ScnHandle scn_Init(void) SCN_NOEXCEPT;
SCN_API void scn_Exit(ScnHandle handle) SCN_NOEXCEPT;

/* Parameters */
SCN_API void scn_LoadPar(ScnPar *par, const char *iniFile, const char *section) SCN_NOEXCEPT;
SCN_API void scn_SavePar(const ScnPar *par, const char *iniFile, const char *section) SCN_NOEXCEPT;
SCN_API void scn_SetPar(ScnHandle handle, const ScnPar *par) SCN_NOEXCEPT;
SCN_API void scn_GetPar(ScnHandle handle, ScnPar *par) SCN_NOEXCEPT;

/* Image and processing */
SCN_API int32_t scn_LoadImage(ScnHandle handle, const char *imageFile) SCN_NOEXCEPT;
SCN_API void scn_ImageProcessing(ScnHandle handle) SCN_NOEXCEPT;
/* scn_SetReference keeps the phase of the last processed image as the
 * reference that scn_ProfileCalculation(handle, 1) subtracts. It lives in the
 * planes of that image's size: scn_LoadImage of an image of another size
 * makes new planes, and the reference is then all zero, so that the profile
 * is that of the image alone, as without one (no code tells of it; a caller
 * compares scn_GetImageSize before and after the load). */
SCN_API void scn_SetReference(ScnHandle handle) SCN_NOEXCEPT;

/* Profile */
SCN_API void scn_ProfileCalculation(ScnHandle handle, int32_t withReference) SCN_NOEXCEPT;
SCN_API void scn_SaveProfile(ScnHandle handle, const char *profileFile) SCN_NOEXCEPT;

/* Inspection */
SCN_API void scn_GetImageSize(ScnHandle handle, int32_t *width, int32_t *height) SCN_NOEXCEPT;
SCN_API void scn_ReadImageLine(ScnHandle handle, int32_t plane, int32_t line, uint8_t *buffer) SCN_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* SCAN_H */
