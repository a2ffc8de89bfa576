/* kavlensim.sys: a stand-in for the emulator's USB kernel driver, for tests
 * under wine. Each root-enumerated device it serves exposes an interface of
 * the emulator's class and relays every open, control request, read, write
 * and close to one kavlen-sim over loopback TCP, in the wire protocol of
 * platform/wire_codec.h, so the programs' real Windows calls (setup-service
 * enumeration, CreateFileA, DeviceIoControl) run against the simulator.
 * The simulator's failures come back as the requests' results: its error
 * code is what GetLastError then gives the program.
 *
 * One driver service serves one device (wine runs all devices of a service
 * on one dispatch thread, so a stalled simulator stalls only its own
 * device). The service key's Parameters\Endpoint names the simulator's
 * "<name>.tcp" file, read afresh at every open. */

#include <ntddk.h>

#include "tests/windows/driver/relay_socket.h"

#define SIM_TIMEOUT_MS 10000u
#define POOL_TAG 0x6D53764Bu /* "KvSm" */
#define MAX_TARGET 255u
#define MAX_ENDPOINT_PATH 1024u

/* {89BB4816-3E22-4979-8B14-0538FDA9687D}: the emulator's device interface class. */
static const GUID kInterfaceClass = {
    0x89BB4816, 0x3E22, 0x4979, {0x8B, 0x14, 0x05, 0x38, 0xFD, 0xA9, 0x68, 0x7D}};

typedef struct Device {
  PDEVICE_OBJECT lower;
  UNICODE_STRING link; /* the interface's symbolic link */
} Device;

/* What one open of the interface (or of a pipe below it) holds. */
typedef struct OpenFile {
  unsigned long long link;
} OpenFile;

/* "\??\" + the endpoint file's Windows path, from the service key. */
static WCHAR g_endpointPath[MAX_ENDPOINT_PATH];
static UNICODE_STRING g_endpoint;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* The NTSTATUS whose Win32 error is the simulator's error code. */
static NTSTATUS StatusOfError(unsigned int error) {
  switch (error) {
    case 2: return STATUS_OBJECT_NAME_NOT_FOUND;
    case 5: return STATUS_ACCESS_DENIED;
    case 6: return STATUS_INVALID_HANDLE;
    case 87: return STATUS_INVALID_PARAMETER;
    case 122: return STATUS_BUFFER_TOO_SMALL;
    case 1167: return STATUS_DEVICE_NOT_CONNECTED;
    default: return STATUS_UNSUCCESSFUL; /* ERROR_GEN_FAILURE */
  }
}

/* ---- the endpoint -------------------------------------------------------- */

static NTSTATUS ReadEndpointSetting(PUNICODE_STRING registryPath) {
  static const WCHAR kPrefix[] = L"\\??\\";
  OBJECT_ATTRIBUTES attributes;
  HANDLE service = NULL, parameters = NULL;
  UNICODE_STRING name;
  InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             NULL, NULL);
  NTSTATUS status = ZwOpenKey(&service, KEY_READ, &attributes);
  if (!NT_SUCCESS(status)) return status;
  RtlInitUnicodeString(&name, L"Parameters");
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, service,
                             NULL);
  status = ZwOpenKey(&parameters, KEY_READ, &attributes);
  ZwClose(service);
  if (!NT_SUCCESS(status)) return status;

  const ULONG size = sizeof(KEY_VALUE_PARTIAL_INFORMATION) + MAX_ENDPOINT_PATH * sizeof(WCHAR);
  PKEY_VALUE_PARTIAL_INFORMATION value = ExAllocatePoolWithTag(PagedPool, size, POOL_TAG);
  if (value == NULL) {
    ZwClose(parameters);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  ULONG got = 0;
  RtlInitUnicodeString(&name, L"Endpoint");
  status = ZwQueryValueKey(parameters, &name, KeyValuePartialInformation, value, size, &got);
  ZwClose(parameters);
  const ULONG prefixChars = sizeof kPrefix / sizeof(WCHAR) - 1;
  if (NT_SUCCESS(status) && (value->Type != REG_SZ || value->DataLength < sizeof(WCHAR) ||
                             value->DataLength / sizeof(WCHAR) + prefixChars > MAX_ENDPOINT_PATH)) {
    status = STATUS_INVALID_PARAMETER;
  }
  if (NT_SUCCESS(status)) {
    const WCHAR* path = (const WCHAR*)value->Data;
    ULONG chars = value->DataLength / sizeof(WCHAR);
    while (chars > 0 && path[chars - 1] == 0) --chars;
    RtlCopyMemory(g_endpointPath, kPrefix, prefixChars * sizeof(WCHAR));
    RtlCopyMemory(g_endpointPath + prefixChars, path, chars * sizeof(WCHAR));
    g_endpoint.Buffer = g_endpointPath;
    g_endpoint.Length = (USHORT)((prefixChars + chars) * sizeof(WCHAR));
    g_endpoint.MaximumLength = sizeof g_endpointPath;
  }
  ExFreePoolWithTag(value, POOL_TAG);
  return status;
}

/* "<port> <token>\n" as the simulator writes it. */
static int ParseEndpoint(const char* text, ULONG length, unsigned short* port, char* token) {
  ULONG at = 0, value = 0, digits = 0;
  while (at < length && text[at] >= '0' && text[at] <= '9' && digits < 5) {
    value = value * 10 + (ULONG)(text[at++] - '0');
    ++digits;
  }
  if (digits == 0 || value == 0 || value > 65535 || at >= length || text[at] != ' ') return 0;
  ++at;
  ULONG tokenLength = 0;
  while (at < length && text[at] > ' ' && tokenLength <= KW_TOKEN_LENGTH) {
    if (tokenLength < KW_TOKEN_LENGTH) token[tokenLength] = text[at];
    ++tokenLength;
    ++at;
  }
  if (tokenLength != KW_TOKEN_LENGTH) return 0;
  for (; at < length; ++at) {
    if (text[at] != '\r' && text[at] != '\n' && text[at] != ' ') return 0;
  }
  *port = (unsigned short)value;
  return 1;
}

/* A stream to the simulator the endpoint file names; RELAY_NO_SOCKET when
 * the file is gone (the simulator has ended) or nothing answers. */
static unsigned long long ConnectSimulator(void) {
  char text[128];
  OBJECT_ATTRIBUTES attributes;
  IO_STATUS_BLOCK io;
  HANDLE file = NULL;
  if (g_endpoint.Length == 0) return RELAY_NO_SOCKET;
  InitializeObjectAttributes(&attributes, &g_endpoint, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                             NULL, NULL);
  if (!NT_SUCCESS(ZwOpenFile(&file, GENERIC_READ | SYNCHRONIZE, &attributes, &io, FILE_SHARE_READ,
                             FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE))) {
    return RELAY_NO_SOCKET;
  }
  const NTSTATUS status = ZwReadFile(file, NULL, NULL, NULL, &io, text, sizeof text, NULL, NULL);
  ZwClose(file);
  unsigned short port = 0;
  char token[KW_TOKEN_LENGTH];
  if (!NT_SUCCESS(status) || io.Information >= sizeof text ||
      !ParseEndpoint(text, (ULONG)io.Information, &port, token)) {
    return RELAY_NO_SOCKET;
  }
  return RelayConnect(port, token, SIM_TIMEOUT_MS);
}

/* The simulator's name, as an open names it: the endpoint file's name
 * without its ".tcp"; its length (0 when there is none). */
static ULONG SimulatorName(char* name, ULONG room) {
  const ULONG chars = g_endpoint.Length / sizeof(WCHAR);
  ULONG start = chars;
  while (start > 0 && g_endpoint.Buffer[start - 1] != L'\\') --start;
  if (chars - start <= 4 || chars - start - 4 > room) return 0;
  const ULONG length = chars - start - 4;
  for (ULONG i = 0; i < length; ++i) {
    const WCHAR c = g_endpoint.Buffer[start + i];
    if (c > 0x7E) return 0;
    name[i] = (char)c;
  }
  return length;
}

/* ---- opens and requests ------------------------------------------------ */

/* Windows' creation disposition (CreateFileA's) from the kernel's. */
static unsigned int Disposition(ULONG createOptions) {
  switch (createOptions >> 24) {
    case FILE_CREATE: return 1;       /* CREATE_NEW */
    case FILE_OPEN: return 3;         /* OPEN_EXISTING */
    case FILE_OPEN_IF: return 4;      /* OPEN_ALWAYS */
    case FILE_OVERWRITE: return 5;    /* TRUNCATE_EXISTING */
    default: return 2;                /* CREATE_ALWAYS */
  }
}

/* The simulator's answer to one request as the IRP's status; the link is
 * shut for good when it broke. */
static NTSTATUS Relay(OpenFile* open, const KwRequest* request, const void* payload, void* out,
                      unsigned int outLength, ULONG_PTR* information) {
  KwReply reply;
  *information = 0;
  if (!RelayExchange(open->link, request, payload, &reply, out, outLength)) {
    return STATUS_DEVICE_NOT_CONNECTED;
  }
  if (reply.ok == 0) return StatusOfError(reply.error);
  *information = reply.count < outLength ? reply.count : outLength;
  return STATUS_SUCCESS;
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  PFILE_OBJECT file = stack->FileObject;
  /* the interface itself, or a pipe: interface path + "\" + its name */
  char target[MAX_TARGET];
  ULONG length = 0;
  const UNICODE_STRING* name = &file->FileName;
  for (ULONG i = 0; i < name->Length / sizeof(WCHAR); ++i) {
    const WCHAR c = name->Buffer[i];
    if (length == 0 && c == L'\\') continue;
    if (c > 0x7E || length == MAX_TARGET) return Complete(irp, STATUS_OBJECT_NAME_INVALID, 0);
    target[length++] = (char)c;
  }
  OpenFile* open = ExAllocatePoolWithTag(NonPagedPool, sizeof *open, POOL_TAG);
  if (open == NULL) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  open->link = ConnectSimulator();
  if (open->link == RELAY_NO_SOCKET) {
    ExFreePoolWithTag(open, POOL_TAG);
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  char simulator[KW_MAX_NAME];
  unsigned char payload[KW_MAX_OPEN_PAYLOAD];
  const size_t used = KwEncodeOpen(payload, sizeof payload, simulator,
                                   SimulatorName(simulator, sizeof simulator), target, length);
  const KwRequest request = {KW_OP_OPEN, Disposition(stack->Parameters.Create.Options),
                             (uint32_t)used, 0};
  ULONG_PTR information = 0;
  const NTSTATUS status = Relay(open, &request, payload, NULL, 0, &information);
  if (!NT_SUCCESS(status)) {
    RelayClose(open->link);
    ExFreePoolWithTag(open, POOL_TAG);
    return Complete(irp, status, 0);
  }
  file->FsContext = open;
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* Waits for the simulator to confirm the close, so that a following open
 * can never overtake it. */
static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  OpenFile* open = file != NULL ? file->FsContext : NULL;
  if (open != NULL) {
    const KwRequest request = {KW_OP_CLOSE, 0, 0, 0};
    ULONG_PTR information = 0;
    Relay(open, &request, NULL, NULL, 0, &information);
    RelayClose(open->link);
    ExFreePoolWithTag(open, POOL_TAG);
    file->FsContext = NULL;
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return Complete(irp, STATUS_SUCCESS, 0);
}

static OpenFile* OpenOf(PIRP irp) {
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  return file != NULL ? file->FsContext : NULL;
}

/* Buffered control requests go to the simulator as they are, whatever the
 * code: the simulator judges codes and lengths. */
static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  OpenFile* open = OpenOf(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  if (open == NULL) return Complete(irp, STATUS_INVALID_HANDLE, 0);
  if (METHOD_FROM_CTL_CODE(code) != METHOD_BUFFERED) {
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  const KwRequest request = {KW_OP_IOCTL, code,
                                stack->Parameters.DeviceIoControl.InputBufferLength,
                                stack->Parameters.DeviceIoControl.OutputBufferLength};
  ULONG_PTR information = 0;
  const NTSTATUS status = Relay(open, &request, buffer, buffer, request.wanted, &information);
  return Complete(irp, status, information);
}

static NTSTATUS DispatchRead(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  OpenFile* open = OpenOf(irp);
  if (open == NULL) return Complete(irp, STATUS_INVALID_HANDLE, 0);
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  const KwRequest request = {KW_OP_READ, 0, 0, length};
  ULONG_PTR information = 0;
  const NTSTATUS status =
      Relay(open, &request, NULL, irp->AssociatedIrp.SystemBuffer, length, &information);
  return Complete(irp, status, information);
}

static NTSTATUS DispatchWrite(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  OpenFile* open = OpenOf(irp);
  if (open == NULL) return Complete(irp, STATUS_INVALID_HANDLE, 0);
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
  const KwRequest request = {KW_OP_WRITE, 0, length, 0};
  KwReply reply;
  if (!RelayExchange(open->link, &request, irp->AssociatedIrp.SystemBuffer, &reply, NULL, 0)) {
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  const ULONG written = reply.count < length ? reply.count : length;
  return Complete(irp, reply.ok ? STATUS_SUCCESS : StatusOfError(reply.error),
                  reply.ok ? written : 0);
}

/* ---- plug and play ------------------------------------------------------- */

static NTSTATUS LowerDone(PDEVICE_OBJECT device, PIRP irp, PVOID event) {
  (void)device;
  (void)irp;
  KeSetEvent((PKEVENT)event, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Passes the IRP to the device below and waits until it is done there. */
static NTSTATUS ForwardAndWait(Device* ext, PIRP irp) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, LowerDone, &event, TRUE, TRUE, TRUE);
  NTSTATUS status = IoCallDriver(ext->lower, irp);
  if (status == STATUS_PENDING) {
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    status = irp->IoStatus.Status;
  }
  return status;
}

static NTSTATUS PassDown(Device* ext, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(ext->lower, irp);
}

static NTSTATUS DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  Device* ext = device->DeviceExtension;
  switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE: {
      NTSTATUS status = ForwardAndWait(ext, irp);
      if (NT_SUCCESS(status)) status = IoSetDeviceInterfaceState(&ext->link, TRUE);
      return Complete(irp, status, 0);
    }
    case IRP_MN_SURPRISE_REMOVAL:
      IoSetDeviceInterfaceState(&ext->link, FALSE);
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(ext, irp);
    case IRP_MN_REMOVE_DEVICE: {
      IoSetDeviceInterfaceState(&ext->link, FALSE);
      irp->IoStatus.Status = STATUS_SUCCESS;
      PDEVICE_OBJECT lower = ext->lower;
      const NTSTATUS status = PassDown(ext, irp);
      RtlFreeUnicodeString(&ext->link);
      IoDetachDevice(lower);
      IoDeleteDevice(device);
      return status;
    }
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(ext, irp);
    default:
      return PassDown(ext, irp);
  }
}

static NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Device), NULL, FILE_DEVICE_UNKNOWN,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  Device* ext = device->DeviceExtension;
  RtlZeroMemory(ext, sizeof *ext);
  status = IoRegisterDeviceInterface(pdo, &kInterfaceClass, NULL, &ext->link);
  if (NT_SUCCESS(status)) {
    ext->lower = IoAttachDeviceToDeviceStack(device, pdo);
    if (ext->lower == NULL) status = STATUS_NO_SUCH_DEVICE;
  }
  if (!NT_SUCCESS(status)) {
    RtlFreeUnicodeString(&ext->link);
    IoDeleteDevice(device);
    return status;
  }
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void Unload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  if (!RelayStartSockets()) return STATUS_UNSUCCESSFUL;
  /* without a setting every open fails, as with a simulator that ended */
  ReadEndpointSetting(registryPath);
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->MajorFunction[IRP_MJ_READ] = DispatchRead;
  driver->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  return STATUS_SUCCESS;
}
