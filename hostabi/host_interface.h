/* The boundary between the host and a module library.
 *
 * Everything here is plain C: records of fixed-width fields, pointers to
 * NUL-terminated text, integer codes and function entries that use the C
 * calling convention (arguments pushed right to left, removed by the caller).
 * The offsets in the comments are those of the 32-bit x86 build; the
 * static_asserts at the end check them on every 32-bit target. A 64-bit
 * build keeps the same fields in the same order with natural alignment.
 */
#ifndef HOSTABI_HOST_INTERFACE_H
#define HOSTABI_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

/* The calling convention, written into every entry type and every function
 * the host calls. On 32-bit Windows a mismatch corrupts the host's stack. */
#if defined(_WIN32) && defined(__i386__)
#define HOST_CALL __cdecl
#elif defined(__i386__)
#define HOST_CALL __attribute__((cdecl))
#else
#define HOST_CALL
#endif

/* Exported names are pinned by a .def file on Windows; on ELF every symbol
 * is hidden except the ones marked here. */
#if defined(_WIN32)
#define WLM_EXPORT
#else
#define WLM_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* InstanceRecord magic: "WLPL", first character in the most significant byte
 * (bytes in memory 4C 50 4C 57). */
#define WL_INSTANCE_MAGIC 0x574C504C
#define WL_INSTANCE_VERSION 1

/* Dispatcher requests, host -> module. Any other code does nothing and
 * returns 0. */
#define WL_REQ_OPEN 0             /* result 0 */
#define WL_REQ_CLOSE 1            /* close, then destroy the instance; result 1 */
#define WL_REQ_SET_SAMPLE_RATE 2  /* opt = samples per second; result 0 */
#define WL_REQ_SET_BLOCK_SIZE 3   /* value = block size; result 0 */
#define WL_REQ_DESCRIBE_PIN 6     /* index, ptr = zeroed PinDescriptor; 1 if the pin exists */
#define WL_REQ_REQUEST8 8         /* result 0 */
#define WL_REQ_REQUEST12 12       /* index, ptr; result 0 */

/* Host requests, module -> host, through HostCallback. */
#define WL_HOST_PIN_STATUS 0        /* index = pin, value = status, ptr = sample clock; a notice */
#define WL_HOST_SAMPLE_CLOCK 3      /* result: the current sample clock */
#define WL_HOST_PIN_BUFFER 7        /* index = pin; result: address of its sample buffer */
#define WL_HOST_PIN_COUNT 14        /* result: the number of pins the host keeps */
#define WL_HOST_PROCESS_CHANGED 22  /* a notice: read the process entry again */

/* Pin datatypes, with the storage a pin gets when its descriptor names no
 * variable. */
#define WL_TYPE_LIST 0    /* 16-bit choice */
#define WL_TYPE_TEXT 1    /* pointer to text, no storage */
#define WL_TYPE_HOST2 2   /* host-defined, no storage */
#define WL_TYPE_HOST3 3   /* host-defined, no storage */
#define WL_TYPE_BYTE 4    /* 8-bit value */
#define WL_TYPE_STREAM 5  /* sample buffer, address from WL_HOST_PIN_BUFFER */
#define WL_TYPE_INT32 6   /* 32-bit value */

/* Pin directions. */
#define WL_DIR_OUTPUT 1
#define WL_DIR_INPUT 3

/* PinDescriptor flags: the host may keep more pins after this one, all like it. */
#define WL_PIN_REPEATS 0x8

/* Pin status codes. Other values are stored unchanged. */
#define WL_STATUS_IDLE 0     /* every pin at creation */
#define WL_STATUS_CHANGED 1  /* a one-off change, back to 0 once the module was told */
#define WL_STATUS_STREAM 2   /* announced at open for an output written every sample */

/* HostEvent types. Others are ignored. */
#define WL_EVENT_PIN_STATUS 0   /* input pin `target` changed status to `value` */
#define WL_EVENT_DATA 2         /* timed data message: timestamp, value, value2 */
#define WL_EVENT_RUN_ROUTINE 21 /* run the module routine whose address is `target` */

/* Module properties flags that the library reports for its module type. */
#define WL_MODULE_FLAGS 0x816

typedef struct InstanceRecord InstanceRecord;

/* Module -> host. The library always passes opt as 0. With a null callback
 * every request yields 0 and nothing is called. The result is pointer-wide so
 * that WL_HOST_PIN_BUFFER can answer with an address on 64-bit builds too. */
typedef intptr_t(HOST_CALL *HostCallback)(InstanceRecord *record, int32_t request, int32_t index,
                                          int32_t value, void *ptr, float opt);

/* The three entries of an instance, host -> module. `object` is the value of
 * InstanceRecord.object. */
typedef int32_t(HOST_CALL *DispatcherEntry)(InstanceRecord *record, int32_t request, int32_t index,
                                            int32_t value, void *ptr, float opt);
typedef void(HOST_CALL *ProcessEntry)(void *object, int32_t offset, int32_t count);
typedef struct HostEvent HostEvent;
typedef void(HOST_CALL *EventEntry)(void *object, HostEvent *event);

/* Lives inside the instance from makeModule until the close request; the
 * host reaches the instance only through it. */
struct InstanceRecord {
    int32_t magic;              /* +0  WL_INSTANCE_MAGIC */
    int32_t version;            /* +4  WL_INSTANCE_VERSION */
    intptr_t hostValue;         /* +8  makeModule's hostValue, never read by the library */
    void *object;               /* +12 the module object, first argument of process and event */
    int32_t reserved0;          /* +16 zero */
    DispatcherEntry dispatcher; /* +20 */
    ProcessEntry process;       /* +24 the current process routine; does nothing until selected */
    EventEntry event;           /* +28 */
    int32_t reserved[4];        /* +32 zero */
};

/* Owned by the host; the library writes name, id, about and flags. */
typedef struct ModuleProperties {
    const char *name;  /* +0  display name */
    const char *id;    /* +4  unique identifier of the module type */
    const char *about; /* +8  about text */
    intptr_t unused1;  /* +12 not written by the library */
    intptr_t unused2;  /* +16 not written by the library */
    int32_t flags;     /* +20 WL_MODULE_FLAGS, written whatever the index */
} ModuleProperties;

/* The host zero-fills it and asks with WL_REQ_DESCRIBE_PIN; the module fills
 * the fields that apply. */
typedef struct PinDescriptor {
    void *variable;           /* +0  where the host keeps the pin's value: a buffer address,
                                      a text pointer or a 16-bit list choice */
    int32_t direction;        /* +4  WL_DIR_* */
    int32_t datatype;         /* +8  WL_TYPE_* */
    const char *name;         /* +12 display name */
    const char *defaultValue; /* +16 default, in the host's notation */
    const char *extra;        /* +20 list choices as "label=value,..." */
    int32_t flags;            /* +24 WL_PIN_REPEATS */
    int32_t reserved;         /* +28 zero */
} PinDescriptor;

/* Owned by the host, valid only during the event entry call. */
struct HostEvent {
    int32_t timestamp; /* +0  sample clock */
    int32_t type;      /* +4  WL_EVENT_* */
    int32_t value;     /* +8  */
    int16_t value2;    /* +12 second value */
    int16_t unused;    /* +14 not read by the library */
    intptr_t target;   /* +16 pin index, or address of a module routine */
};

/* The library's exports. getModuleProperties sets flags on every call and,
 * for index 0, the texts; it returns 1 for index 0 and 0 otherwise.
 * makeModule returns the new instance's record, or null for anything but
 * index 0 and kind 1, or when allocation fails. */
typedef int32_t(HOST_CALL *GetModulePropertiesFn)(int32_t index, ModuleProperties *props);
typedef InstanceRecord *(HOST_CALL *MakeModuleFn)(int32_t index, int32_t kind, HostCallback callback,
                                                  intptr_t hostValue);

WLM_EXPORT int32_t HOST_CALL getModuleProperties(int32_t index, ModuleProperties *props);
WLM_EXPORT InstanceRecord *HOST_CALL makeModule(int32_t index, int32_t kind, HostCallback callback,
                                                intptr_t hostValue);

#ifdef __cplusplus
}
#endif

#if defined(__i386__) || defined(_M_IX86)
#ifdef __cplusplus
#define WL_LAYOUT_CHECK(cond) static_assert(cond, #cond)
#else
#define WL_LAYOUT_CHECK(cond) _Static_assert(cond, #cond)
#endif
WL_LAYOUT_CHECK(sizeof(InstanceRecord) == 48);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, magic) == 0);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, version) == 4);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, hostValue) == 8);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, object) == 12);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, reserved0) == 16);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, dispatcher) == 20);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, process) == 24);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, event) == 28);
WL_LAYOUT_CHECK(offsetof(InstanceRecord, reserved) == 32);
WL_LAYOUT_CHECK(sizeof(ModuleProperties) == 24);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, name) == 0);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, id) == 4);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, about) == 8);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, unused1) == 12);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, unused2) == 16);
WL_LAYOUT_CHECK(offsetof(ModuleProperties, flags) == 20);
WL_LAYOUT_CHECK(sizeof(PinDescriptor) == 32);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, variable) == 0);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, direction) == 4);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, datatype) == 8);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, name) == 12);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, defaultValue) == 16);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, extra) == 20);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, flags) == 24);
WL_LAYOUT_CHECK(offsetof(PinDescriptor, reserved) == 28);
WL_LAYOUT_CHECK(sizeof(HostEvent) == 20);
WL_LAYOUT_CHECK(offsetof(HostEvent, timestamp) == 0);
WL_LAYOUT_CHECK(offsetof(HostEvent, type) == 4);
WL_LAYOUT_CHECK(offsetof(HostEvent, value) == 8);
WL_LAYOUT_CHECK(offsetof(HostEvent, value2) == 12);
WL_LAYOUT_CHECK(offsetof(HostEvent, unused) == 14);
WL_LAYOUT_CHECK(offsetof(HostEvent, target) == 16);
#undef WL_LAYOUT_CHECK
#endif

#endif /* HOSTABI_HOST_INTERFACE_H */
