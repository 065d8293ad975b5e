/*
 * ZarnicBox plug-in interface.
 *
 * The server knows meter variables only from the device description files in XML.ZARNIC/. The
 * bytes a meter understands come from plug-in libraries: for a device type code TTTT (four
 * upper-case hexadecimal digits) the server loads DLL/ZarnicMaster_HHxx.so, HH being the first two
 * digits of TTTT, so one library serves the 256 type codes 0xHH00..0xHHFF. The library of type
 * 0000, ZarnicMaster_00xx.so, is the base module: every function that a library does not export is
 * looked up there, under the same name and then under its default name.
 *
 * A library exports plain C functions (C linkage, the platform's C calling convention). Each
 * variable of a description has seven roles; the description's extension file may name any
 * exported function for a role, otherwise the default name is used:
 *
 *   role  default    signature            what the server uses it for
 *   RE    PlainRE    ZbOperationProc      build a read request
 *   FC    PlainFC    ZbOperationProc      check (and normalise) the value text of a write
 *   WE    PlainWE    ZbOperationProc      build a write request
 *   ALC   PlainALC   ZbOperationProc      resolved and kept, not called by the server
 *   RD    PlainRD    ZbTextProc           turn the answer bytes into readable text
 *   WD    PlainWD    ZbTextProc           resolved and kept, not called by the server
 *   ED    PlainED    ZbTextProc           resolved and kept, not called by the server
 *
 * Calls
 * -----
 * Every call receives a transaction record (ZbTransaction), zero-filled by the server. For a
 * request the server sets the variable's settings pointer `var`, its identifier `vid`, the access
 * mode and the request flag; for an answer it sets `var`, the answer bytes and the answer length.
 * Then it calls:
 *
 *   read:   RE(record, args, last)                    the args are the read's arguments (function
 *                                                     types take arguments; others get none)
 *   write:  FC(record, args, last), then, when FC returned true, WE(record, args, last)
 *   answer: RD(record)                                with the answer bytes and answer length set
 *
 * Arguments are an array of 256-byte slots (ZbArgSlot): byte 0 holds the length, bytes 1..255
 * the text (UTF-8, not zero-terminated). `last` is the index of the last slot, -1 when there are
 * none; the array always has at least one slot, so `args` is never NULL. For a write the slots
 * hold the value, one element per slot (a multi-line value text is split at its line breaks). FC
 * may rewrite the slots in place (for example to normalise a number); WE then receives them as
 * FC left them.
 *
 * RE, FC and WE return a boolean in the low byte of the result: non-zero for success. RE and WE
 * fill `request` and set `request_words`; a request that would not fit 255 words must be
 * refused. FC returns zero for a value that the variable cannot take; the server then logs a
 * format error and builds no request.
 *
 * RD returns a zero-terminated UTF-8 text owned by the library. It must stay valid until the next
 * call of a text function on the same thread (the server calls from several threads at once and
 * copies the text at once). If the text contains the character of code 1, everything up to and
 * including the first such character is a prefix for the library's own use (a type name, a
 * label): the server keeps only the part after it as the value text. A text without that
 * character is taken whole. Several values are separated by CR LF.
 *
 * Functions must not throw C++ exceptions or call longjmp across the interface, must not keep the
 * `var` pointer or the record after returning, and must be safe to call from several threads at
 * once (each call has its own record).
 *
 * The base module ZarnicMaster_00xx.so
 * ------------------------------------
 * Values are little-endian. The element size is the type's own size for numbers, time stamps,
 * flags and booleans; for byte arrays (0x11..0x14) it is VarLen, or the low digit of the type
 * code when VarLen is 0; bit fields (0x01..0x03) are VarLen bytes (1 when 0, at most 8); strings
 * (0x50, 0x51) are a length byte followed by at most VarLen bytes (255 when VarLen is 0).
 * VarCount is the number of elements (0 counts as 1); a write must give exactly that many values,
 * one per line (function types: at most that many arguments), and an answer holds the elements
 * one after the other. There is no way to write an empty value: an empty text gives no line.
 *
 *   code        name                text form of one element
 *   0x00        flag                "0" or "1" (one byte)
 *   0x01..0x03  flagX mflagX bitRecX binary digits, highest bit first ("00010010"); fewer digits
 *                                   than bits are aligned right. A write of mflagX carries, per
 *                                   element, the value bytes followed by a mask of the same size
 *                                   with a 1 for every bit given as "0" or "1"; bits given as "x",
 *                                   and bits beyond the digits given, are left as they are.
 *   0x11..0x14  byte..frame/byte4   hexadecimal digits, two per byte, in byte order ("0A1B")
 *   0x21..0x24  uint8..uint32       decimal, 0 .. 2^(8n)-1
 *   0x31..0x34  int8..int32         decimal, -2^(8n-1) .. 2^(8n-1)-1
 *   0x28        bool                "0" or "1" (also "false"/"true"); an answer byte other than 0
 *                                   reads as 1
 *   0x29        event               event code, 32-bit unsigned decimal
 *   0x2A        time                "dd.mm.yyyy hh:nn:ss", 32-bit seconds since
 *                                   01.01.2000 00:00:00 of the meter's own clock; a write may
 *                                   leave out the seconds or the whole time of day
 *   0x2B        utc                 the same form, counted in UTC; the text carries " UTC"
 *   0x41, 0x42  float32, float64    decimal with "." or ",", optional exponent; no NaN or
 *                                   infinity; float32 refuses values beyond its range
 *   0x50        StrPas              the text itself
 *   0x51        StrBytePas          the bytes in hexadecimal
 *   0x60, 0x68  Func, L.Func        read with arguments: each argument a 32-bit decimal number
 *                                   (signed or unsigned), at most VarCount of them when VarCount
 *                                   is not 0; the answer reads as 32-bit words in hexadecimal
 *                                   ("%08X"), one per line
 *   other                           hexadecimal bytes: VarLen of them, any number when VarLen
 *                                   is 0
 *
 * Requests: word 0 holds the variable's identifier (little-endian). A read request of a function
 * type appends one word per argument; other reads are the identifier alone. A write request
 * appends the value bytes, padded with zero bytes to a whole word.
 *
 * RD answers "<type name>\1<value>". An answer shorter than the elements need, or of a size the
 * type cannot have, reads as the hexadecimal answer bytes. PlainFC, PlainRE and PlainWE return
 * false for an unknown settings layout (a `size` smaller than the base module knows).
 */
#ifndef ZB_DEVICES_PLUGIN_ABI_H
#define ZB_DEVICES_PLUGIN_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the transaction record as the system defines it, and of the answer it can carry. */
#define ZB_RECORD_BYTES 2104
#define ZB_REQUEST_BYTES 1024
#define ZB_ANSWER_BYTES 1024
/* The word counts are single bytes: at most 255 words (1020 bytes) of request or answer. */
#define ZB_MAX_WORDS 255

/* Direction byte. */
#define ZB_DIRECTION_READ 0x00
#define ZB_DIRECTION_WRITE 0x80

/* Access modes (derived from the access levels of the description: 0 guest, 1 user,
 * 2 administrator, 3 factory; level 3 uses mode 0). */
#define ZB_ACCESS_GUEST 0
#define ZB_ACCESS_USER 1
#define ZB_ACCESS_ADMIN 2

/* Access level meaning "the operation does not exist for this variable". */
#define ZB_LEVEL_NONE 8

/*
 * The variable's settings, as read from its description and extension files. Texts are UTF-8,
 * zero-terminated, never NULL (empty when absent), owned by the server and valid during the
 * call only. `size` is sizeof(ZbVarSettings) of the server, so that later versions can add
 * fields at the end.
 */
typedef struct ZbVarSettings {
    uint32_t size;       /* sizeof(ZbVarSettings) as the server knows it */
    uint32_t vid;        /* variable identifier (attribute VID) */
    int32_t device_type; /* type code of the description file (TTTT) */
    int32_t type_code;   /* data type code (attribute TypeCode) */
    int32_t var_len;     /* size of one element in bytes (attribute VarLen) */
    int32_t var_count;   /* number of elements (attribute VarCount) */
    int32_t d;           /* the D setting (description, replaced by the extension) */
    int32_t read_level;  /* read access level: 0..3, 8 for none */
    int32_t write_level; /* write access level: 0..3, 8 for none */
    int32_t reserved;    /* zero */
    const char* title;   /* the variable's key, "TTTT.Name" */
    const char* name;    /* attribute Name */
    const char* caption; /* attribute Caption */
    const char* units;   /* attribute Units */
    const char* f;       /* the F setting of the extension file */
} ZbVarSettings;

/*
 * The transaction record. Byte offsets of the system's record are fixed (checked below); the
 * pointer behind its 2104 bytes replaces the 4-byte variable reference at offset 0, which cannot
 * hold a pointer on a 64-bit platform and stays zero. Every byte not described is zero.
 */
typedef struct ZbTransaction {
    uint32_t var_ref;                  /*    0: zero; see `var` */
    uint8_t request_words;             /*    4: request length in 32-bit words, set by RE / WE */
    uint8_t direction;                 /*    5: ZB_DIRECTION_READ or ZB_DIRECTION_WRITE */
    uint8_t reserved_6[2];             /*    6 */
    uint32_t vid;                      /*    8: the variable's identifier */
    uint8_t access_mode;               /*   12: ZB_ACCESS_* */
    uint8_t reserved_13[3];            /*   13 */
    uint8_t request[ZB_REQUEST_BYTES]; /* 16: request bytes, set by RE / WE */
    uint8_t reserved_1040;             /* 1040 */
    uint8_t answer_words;              /* 1041: answer length in 32-bit words */
    uint8_t reserved_1042[10];         /* 1042 */
    uint8_t answer[ZB_ANSWER_BYTES];   /* 1052: answer bytes (zero-padded to whole words) */
    uint8_t reserved_2076[2];          /* 2076 */
    uint8_t request_built;             /* 2078: 1 for every request the server builds */
    uint8_t reserved_2079[21];         /* 2079 */
    uint32_t completion;               /* 2100: completion procedure; always 0 */
    const ZbVarSettings* var;          /* 2104: the variable's settings for this call */
} ZbTransaction;

/* One argument: byte 0 the length (0..255), then the text. */
typedef unsigned char ZbArgSlot[256];

/* RE, FC, WE, ALC: non-zero low byte for success. */
typedef uint8_t (*ZbOperationProc)(ZbTransaction* record, ZbArgSlot* args, int32_t last);
/* RD, WD, ED: a zero-terminated text owned by the library (see above). */
typedef const char* (*ZbTextProc)(ZbTransaction* record);

#if defined(__GNUC__)
#define ZB_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define ZB_PLUGIN_EXPORT
#endif

/* The default functions of the base module. */
ZB_PLUGIN_EXPORT uint8_t PlainRE(ZbTransaction* record, ZbArgSlot* args, int32_t last);
ZB_PLUGIN_EXPORT uint8_t PlainFC(ZbTransaction* record, ZbArgSlot* args, int32_t last);
ZB_PLUGIN_EXPORT uint8_t PlainWE(ZbTransaction* record, ZbArgSlot* args, int32_t last);
/* Non-zero when the settings allow the record's direction (level below 8). */
ZB_PLUGIN_EXPORT uint8_t PlainALC(ZbTransaction* record, ZbArgSlot* args, int32_t last);
ZB_PLUGIN_EXPORT const char* PlainRD(ZbTransaction* record);
/* The answer to a write: "<type name>\1OK" for an empty answer, else the bytes in hex. */
ZB_PLUGIN_EXPORT const char* PlainWD(ZbTransaction* record);
/* A one-line description of the accepted value text: "<type name>\1<form>". */
ZB_PLUGIN_EXPORT const char* PlainED(ZbTransaction* record);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define ZB_ABI_ASSERT(c, m) static_assert(c, m)
#else
#define ZB_ABI_ASSERT(c, m) _Static_assert(c, m)
#endif
ZB_ABI_ASSERT(offsetof(ZbTransaction, request_words) == 4, "request length at 4");
ZB_ABI_ASSERT(offsetof(ZbTransaction, direction) == 5, "direction at 5");
ZB_ABI_ASSERT(offsetof(ZbTransaction, vid) == 8, "VID at 8");
ZB_ABI_ASSERT(offsetof(ZbTransaction, access_mode) == 12, "access mode at 12");
ZB_ABI_ASSERT(offsetof(ZbTransaction, request) == 16, "request bytes at 16");
ZB_ABI_ASSERT(offsetof(ZbTransaction, answer_words) == 1041, "answer length at 1041");
ZB_ABI_ASSERT(offsetof(ZbTransaction, answer) == 1052, "answer bytes at 1052");
ZB_ABI_ASSERT(offsetof(ZbTransaction, request_built) == 2078, "request flag at 2078");
ZB_ABI_ASSERT(offsetof(ZbTransaction, completion) == 2100, "completion at 2100");
ZB_ABI_ASSERT(offsetof(ZbTransaction, var) == ZB_RECORD_BYTES, "settings behind the record");
ZB_ABI_ASSERT(sizeof(ZbArgSlot) == 256, "argument slots of 256 bytes");
#undef ZB_ABI_ASSERT

#endif /* ZB_DEVICES_PLUGIN_ABI_H */
