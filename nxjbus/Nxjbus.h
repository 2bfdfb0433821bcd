/* The bus library's interface: JBUS (Modbus RTU framing) master over a serial port.
 * Implemented by Nxjbus.dll (real serial link) and by the unit emulator's in-process bus library. */
#ifndef NXJBUS_H
#define NXJBUS_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && defined(NXJBUS_BUILDING)
#define NXJBUS_API __declspec(dllexport)
#elif defined(_WIN32)
#define NXJBUS_API __declspec(dllimport)
#else
#define NXJBUS_API
#endif

/* Results of the transfer functions. 1..11 are the unit's Modbus exception codes as it answered them. */
enum JbusResult {
    JBUS_OK = 0,
    JBUS_EXCEPTION_ILLEGAL_FUNCTION = 1,
    JBUS_EXCEPTION_ILLEGAL_ADDRESS = 2,
    JBUS_EXCEPTION_ILLEGAL_VALUE = 3,
    JBUS_EXCEPTION_DEVICE_FAILURE = 4,
    JBUS_EXCEPTION_ACKNOWLEDGE = 5,
    JBUS_EXCEPTION_DEVICE_BUSY = 6,
    JBUS_EXCEPTION_LAST = 11,
    JBUS_ERROR_NO_ANSWER = 12,  /* nothing within the response timeout (after the one retry) */
    JBUS_ERROR_BAD_FRAME = 13,  /* bad CRC, wrong slave, wrong function or wrong length */
    JBUS_ERROR_PORT = 14        /* handle not open, or the port failed to read or write */
};

/* Opens "COMn" (or "\\.\COMn") at 8 data bits, no parity, 1 stop bit. baud: "9600", "19200", "38400",
 * "57600", "115200"; "0" means 19200. Returns a handle, -1 on failure. */
NXJBUS_API int JbusOpen(const char* port, const char* baud);
/* Closes the handle and sets *handle to -1. */
NXJBUS_API void JbusClose(int* handle);
/* Function 0x03. Fills count words of buffer on success. */
NXJBUS_API int JbusReadSeveralWords(int handle, unsigned char slave, unsigned short wordAddress,
                                    unsigned short count, unsigned short* buffer);
/* Function 0x06. */
NXJBUS_API int JbusWriteOneWord(int handle, unsigned char slave, unsigned short wordAddress,
                                unsigned short value);
/* Function 0x10. */
NXJBUS_API int JbusWriteSeveralWords(int handle, unsigned char slave, unsigned short wordAddress,
                                     unsigned short count, const unsigned short* buffer);

/* Nxjbus.dll only (not part of the five functions the module calls), for service tools and tests. */
/* Text of a transfer result, strerror-style; never null. */
NXJBUS_API const char* JbusResultText(int result);
/* The system's error code behind the last failure of an open handle, or behind the last failed JbusOpen
 * when handle is -1; 0 when there was none. */
NXJBUS_API unsigned long JbusLastSystemError(int handle);

#ifdef __cplusplus
}
#endif

#endif /* NXJBUS_H */
