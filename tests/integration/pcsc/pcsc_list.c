/* The test's view of the test pcscd (a process of its own, because the
 * PC/SC client library reads PCSCLITE_CSOCK_NAME once per process):
 *   qarx-pcsc-list            the reader names, one per line
 *   qarx-pcsc-list NAME       "present", "empty" or "unknown" for reader NAME
 * Exit status 0, or 2 when there is no service. */
#include <stdio.h>
#include <string.h>

#include <winscard.h>

int main(int argc, char **argv) {
  SCARDCONTEXT context;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, NULL, NULL, &context) != SCARD_S_SUCCESS) return 2;
  int status = 0;
  if (argc < 2) {
    char *names = NULL;
    DWORD length = SCARD_AUTOALLOCATE;
    LONG rv = SCardListReaders(context, NULL, (LPSTR)&names, &length);
    if (rv == SCARD_S_SUCCESS) {
      for (const char *name = names; *name; name += strlen(name) + 1) printf("%s\n", name);
      SCardFreeMemory(context, names);
    } else if (rv != SCARD_E_NO_READERS_AVAILABLE) {
      status = 2;
    }
  } else {
    SCARD_READERSTATE state = {.szReader = argv[1], .dwCurrentState = SCARD_STATE_UNAWARE};
    LONG rv = SCardGetStatusChange(context, 0, &state, 1);
    if (rv == SCARD_E_UNKNOWN_READER || (state.dwEventState & SCARD_STATE_UNKNOWN))
      printf("unknown\n");
    else if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT)
      status = 2;
    else
      printf("%s\n", (state.dwEventState & SCARD_STATE_PRESENT) ? "present" : "empty");
  }
  SCardReleaseContext(context);
  return status;
}
