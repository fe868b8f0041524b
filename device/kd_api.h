#ifndef KD_API_H
#define KD_API_H

// Calls of the instrument maker's configuration library. Every status is
// 0 on success; any other value is a failure, and no value is told apart.
// A handle holds -1 until an open or bootstrap call fills it.

#ifdef _WIN32
#  ifdef KD_API_BUILD
#    define KD_API __declspec(dllexport)
#  else
#    define KD_API __declspec(dllimport)
#  endif
#else
#  define KD_API __attribute__((visibility("default")))
#endif

enum KdInitStatus : int { KD_INIT_OK = 0, KD_INIT_ERROR = 1 };
enum KdStatus : int { KD_OK = 0, KD_ERROR = 1 };
// The library reports model codes beyond the three it names.
enum KdDeviceType : int { KD_DEVICE_KD740A = 0, KD_DEVICE_KD740B = 1, KD_DEVICE_KD740C = 2 };

extern "C" {

// Device calls, for an instrument running its normal program.
KD_API const char *kdGetAPIVersion();
KD_API int kdOpenDevice(int *handle);
KD_API int kdCloseDevice(int handle);
KD_API int kdGetFirmwareVersion(int handle, int *bootVersion, int *runVersion, int *fpgaVersion);
KD_API int kdGetDeviceInfo(int handle, int *deviceType, int *serial);

// USB configuration calls (KD740A, KD740B).
KD_API KdInitStatus kdConfigUSBOpenDevice(int *handle);
KD_API KdInitStatus kdConfigUSBOpenDeviceBySerial(int *handle, int serial);
KD_API KdInitStatus kdConfigUSBBootstrapDevice(int *handle, char const *bootImage);
KD_API KdInitStatus kdConfigUSBGetDeviceSerial(int handle, int *serial);
KD_API KdInitStatus kdConfigUSBGetDeviceType(int handle, KdDeviceType *deviceType);
KD_API KdInitStatus kdConfigUSBGetSerialFromFlash(int handle, int *serial);
KD_API KdInitStatus kdConfigUSBClearBootSector(int handle);
KD_API KdInitStatus kdConfigUSBWriteBootSector(int handle, char const *image, int serial);
KD_API KdInitStatus kdConfigUSBClearRunSector(int handle);
KD_API KdInitStatus kdConfigUSBWriteRunSector(int handle, char const *image, int serial);
KD_API KdInitStatus kdConfigUSBClearFPGAProgram(int handle, double &progress);
KD_API KdInitStatus kdConfigUSBWriteFPGAProgram(int handle, char const *image, double &progress);
KD_API KdInitStatus kdConfigUSBCloseDevice(int handle);

// Network configuration calls (KD740C).
KD_API KdStatus kdConfigNetGetDeviceList(int *serials, int *count);
KD_API KdStatus kdConfigNetOpenDevice(int *handle, int serial);
KD_API KdStatus kdConfigNetBootstrapDevice(int *handle, char const *fx3Image);
KD_API KdStatus kdConfigNetGetSerialFromFlash(int handle, int *serial);
KD_API KdStatus kdConfigNetGetFirmwareVersion(int handle, int *version);
KD_API KdStatus kdConfigNetGetFPGAStatus(int handle, int *status);
KD_API KdStatus kdConfigNetClearFx3(int handle);
KD_API KdStatus kdConfigNetWriteFx3(int handle, char const *image, int serial);
KD_API KdStatus kdConfigNetClearFPGA(int handle);
KD_API KdStatus kdConfigNetWriteFGPA(int handle, char const *image);
KD_API KdStatus kdConfigNetPreset(int handle);
KD_API KdStatus kdConfigNetCloseDevice(int handle);

} // extern "C"

#endif
