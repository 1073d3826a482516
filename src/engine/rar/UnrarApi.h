/* The UnRAR library interface as it is publicly documented: result codes,
 * open modes, operations, callback messages, the records passed across the
 * boundary and the function types. Both TRAR (which loads a library by name)
 * and our own compatible library include it, so the two agree byte for byte.
 * On Linux the calling convention is the plain C one and "wide" text is
 * wchar_t (UTF-32). Records are packed, as the library's own header has them.
 * Plain C so the library side can be built with C linkage. */
#ifndef ARKELIN_ENGINE_RAR_UNRARAPI_H
#define ARKELIN_ENGINE_RAR_UNRARAPI_H

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10
#define ERAR_NO_MEMORY 11
#define ERAR_BAD_DATA 12
#define ERAR_BAD_ARCHIVE 13
#define ERAR_UNKNOWN_FORMAT 14
#define ERAR_EOPEN 15
#define ERAR_ECREATE 16
#define ERAR_ECLOSE 17
#define ERAR_EREAD 18
#define ERAR_EWRITE 19
#define ERAR_SMALL_BUF 20
#define ERAR_UNKNOWN 21
#define ERAR_MISSING_PASSWORD 22
#define ERAR_EREFERENCE 23
#define ERAR_BAD_PASSWORD 24
#define ERAR_LARGE_DICT 25
/* Our own library's code for an entry using a feature it does not decode
 * (outside the published list, which has no such code). */
#define ERAR_ARK_UNSUPPORTED 51

#define RAR_OM_LIST 0
#define RAR_OM_EXTRACT 1
#define RAR_OM_LIST_INCSPLIT 2

#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

#define RAR_VOL_ASK 0
#define RAR_VOL_NOTIFY 1

#define RAR_HASH_NONE 0
#define RAR_HASH_CRC32 1
#define RAR_HASH_BLAKE2 2

#define UCM_CHANGEVOLUME 0
#define UCM_PROCESSDATA 1
#define UCM_NEEDPASSWORD 2
#define UCM_CHANGEVOLUMEW 3
#define UCM_NEEDPASSWORDW 4
#define UCM_LARGEDICT 5

#define ROADF_VOLUME 0x0001
#define ROADF_COMMENT 0x0002
#define ROADF_LOCK 0x0004
#define ROADF_SOLID 0x0008
#define ROADF_NEWNUMBERING 0x0010
#define ROADF_SIGNED 0x0020
#define ROADF_RECOVERY 0x0040
#define ROADF_ENCHEADERS 0x0080
#define ROADF_FIRSTVOLUME 0x0100

#define ROADOF_KEEPBROKEN 0x0001

#define RHDF_SPLITBEFORE 0x01
#define RHDF_SPLITAFTER 0x02
#define RHDF_ENCRYPTED 0x04
#define RHDF_SOLID 0x10
#define RHDF_DIRECTORY 0x20

typedef void* RarHandle;
typedef long RarLParam;

typedef int (*UNRARCALLBACK)(unsigned int msg, RarLParam UserData, RarLParam P1, RarLParam P2);
typedef int (*CHANGEVOLPROC)(char* ArcName, int Mode);
typedef int (*PROCESSDATAPROC)(unsigned char* Addr, int Size);

#pragma pack(push, 1)

struct RARHeaderData {
  char ArcName[260];
  char FileName[260];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RARHeaderDataEx {
  char ArcName[1024];
  wchar_t ArcNameW[1024];
  char FileName[1024];
  wchar_t FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize;
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;
  wchar_t* RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow;
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  unsigned int Reserved[988];
};

struct RAROpenArchiveData {
  char* ArcName;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RAROpenArchiveDataEx {
  char* ArcName;
  wchar_t* ArcNameW;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int Flags;
  UNRARCALLBACK Callback;
  RarLParam UserData;
  unsigned int OpFlags;
  wchar_t* CmtBufW;
  unsigned int Reserved[25];
};

#pragma pack(pop)

/* Function types of the library's exports, for binding by name. */
typedef RarHandle (*RAROpenArchiveFn)(struct RAROpenArchiveData*);
typedef RarHandle (*RAROpenArchiveExFn)(struct RAROpenArchiveDataEx*);
typedef int (*RARCloseArchiveFn)(RarHandle);
typedef int (*RARReadHeaderFn)(RarHandle, struct RARHeaderData*);
typedef int (*RARReadHeaderExFn)(RarHandle, struct RARHeaderDataEx*);
typedef int (*RARProcessFileFn)(RarHandle, int Operation, char* DestPath, char* DestName);
typedef void (*RARSetChangeVolProcFn)(RarHandle, CHANGEVOLPROC);
typedef void (*RARSetProcessDataProcFn)(RarHandle, PROCESSDATAPROC);
typedef void (*RARSetPasswordFn)(RarHandle, char* Password);
typedef int (*RARGetDllVersionFn)(void);

#ifdef __cplusplus
}
#endif

#endif
