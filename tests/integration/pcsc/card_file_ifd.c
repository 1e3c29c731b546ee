/* A USB card-reader driver for the test pcscd whose card is a file: the
 * reader of device node "/qarx-bed/ID" holds a card while the file
 * $QARX_BED_CARDS/ID exists. The file has one item per line:
 *   atr HEX               the answer to reset (default 3B800181, T=1)
 *   answer CMDHEX RESPHEX the response to exactly this command
 *   default HEX           the response to any other command (default 6D00)
 * The test replaces the file atomically (rename) to change the card, and
 * deletes it to take the card out. pcscd polls the presence. */
#include <ctype.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <ifdhandler.h>

enum { MAX_LUNS = 32, MAX_BYTES = 1024 };

struct reader {
  int used;
  DWORD lun;
  char card[PATH_MAX];
  UCHAR atr[MAX_ATR_SIZE];
  DWORD atr_length;
};

static struct reader readers[MAX_LUNS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static struct reader *reader_of(DWORD lun) { /* lock held */
  for (int i = 0; i < MAX_LUNS; i++)
    if (readers[i].used && readers[i].lun == lun) return &readers[i];
  return NULL;
}

static int unhex(const char *text, UCHAR *out, size_t capacity) {
  size_t n = 0;
  for (const char *p = text; *p && !isspace((unsigned char)*p); p += 2) {
    unsigned value;
    if (!isxdigit((unsigned char)p[0]) || !isxdigit((unsigned char)p[1]) || n == capacity ||
        sscanf(p, "%2x", &value) != 1)
      return -1;
    out[n++] = (UCHAR)value;
  }
  return (int)n;
}

/* Reads the card file: its ATR, and the response to command (when command
 * is not NULL). Returns 0, or -1 when there is no card. */
static int read_card(const struct reader *r, const UCHAR *command, DWORD command_length, UCHAR *atr,
                     DWORD *atr_length, UCHAR *response, int *response_length) {
  FILE *f = fopen(r->card, "r");
  if (!f) return -1;
  int n = unhex("3B800181", atr, MAX_ATR_SIZE);
  *atr_length = (DWORD)n;
  if (response) *response_length = unhex("6D00", response, MAX_BYTES);
  int matched = 0;
  char line[2 * MAX_BYTES + 2 * MAX_BYTES + 64];
  UCHAR wanted[MAX_BYTES];
  while (fgets(line, sizeof line, f)) {
    char key[16], first[2 * MAX_BYTES + 1], second[2 * MAX_BYTES + 1];
    int fields = sscanf(line, "%15s %2048s %2048s", key, first, second);
    if (fields >= 2 && strcmp(key, "atr") == 0 && (n = unhex(first, atr, MAX_ATR_SIZE)) > 0) {
      *atr_length = (DWORD)n;
    } else if (response && fields >= 2 && strcmp(key, "default") == 0 && !matched) {
      *response_length = unhex(first, response, MAX_BYTES);
    } else if (response && fields == 3 && strcmp(key, "answer") == 0 && !matched &&
               unhex(first, wanted, MAX_BYTES) == (int)command_length &&
               memcmp(wanted, command, command_length) == 0) {
      *response_length = unhex(second, response, MAX_BYTES);
      matched = 1;
    }
  }
  fclose(f);
  return 0;
}

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
  const char *dir = getenv("QARX_BED_CARDS");
  const char *id = strrchr(DeviceName, '/');
  if (!dir || !id) return IFD_COMMUNICATION_ERROR;
  RESPONSECODE rc = IFD_COMMUNICATION_ERROR;
  pthread_mutex_lock(&lock);
  for (int i = 0; i < MAX_LUNS; i++)
    if (!readers[i].used) {
      memset(&readers[i], 0, sizeof readers[i]);
      readers[i].used = 1;
      readers[i].lun = Lun;
      snprintf(readers[i].card, sizeof readers[i].card, "%s/%s", dir, id + 1);
      rc = IFD_SUCCESS;
      break;
    }
  pthread_mutex_unlock(&lock);
  return rc;
}

RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
  (void)Lun;
  (void)Channel;
  return IFD_COMMUNICATION_ERROR;  /* only hot-plugged devices, by name */
}

RESPONSECODE IFDHCloseChannel(DWORD Lun) {
  pthread_mutex_lock(&lock);
  struct reader *r = reader_of(Lun);
  if (r) r->used = 0;
  pthread_mutex_unlock(&lock);
  return IFD_SUCCESS;
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
  RESPONSECODE rc = IFD_SUCCESS;
  pthread_mutex_lock(&lock);
  struct reader *r = reader_of(Lun);
  switch (Tag) {
    case TAG_IFD_ATR:
      if (r && r->atr_length <= *Length) {
        memcpy(Value, r->atr, r->atr_length);
        *Length = r->atr_length;
      } else {
        *Length = 0;
      }
      break;
    case TAG_IFD_SLOTS_NUMBER:
      *Value = 1;
      *Length = 1;
      break;
    case TAG_IFD_SIMULTANEOUS_ACCESS: /* readers this driver serves at once */
      *Value = MAX_LUNS;
      *Length = 1;
      break;
    case TAG_IFD_THREAD_SAFE:
    case TAG_IFD_SLOT_THREAD_SAFE:
      *Value = 0;
      *Length = 1;
      break;
    default:
      rc = IFD_ERROR_TAG;
  }
  pthread_mutex_unlock(&lock);
  return rc;
}

RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD Length, PUCHAR Value) {
  (void)Lun;
  (void)Tag;
  (void)Length;
  (void)Value;
  return IFD_NOT_SUPPORTED;
}

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR Flags, UCHAR PTS1, UCHAR PTS2, UCHAR PTS3) {
  (void)Lun;
  (void)Protocol;
  (void)Flags;
  (void)PTS1;
  (void)PTS2;
  (void)PTS3;
  return IFD_SUCCESS;
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
  RESPONSECODE rc = IFD_COMMUNICATION_ERROR;
  pthread_mutex_lock(&lock);
  struct reader *r = reader_of(Lun);
  if (r && Action == IFD_POWER_DOWN) {
    r->atr_length = 0;
    *AtrLength = 0;
    rc = IFD_SUCCESS;
  } else if (r && read_card(r, NULL, 0, r->atr, &r->atr_length, NULL, NULL) == 0) {
    if (r->atr_length <= *AtrLength) {
      memcpy(Atr, r->atr, r->atr_length);
      *AtrLength = r->atr_length;
      rc = IFD_SUCCESS;
    }
  } else {
    *AtrLength = 0;
    rc = IFD_ICC_NOT_PRESENT;
  }
  pthread_mutex_unlock(&lock);
  return rc;
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                               PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
  UCHAR atr[MAX_ATR_SIZE], response[MAX_BYTES];
  DWORD atr_length = 0;
  int response_length = 0;
  RESPONSECODE rc = IFD_ICC_NOT_PRESENT;
  pthread_mutex_lock(&lock);
  struct reader *r = reader_of(Lun);
  if (r && read_card(r, TxBuffer, TxLength, atr, &atr_length, response, &response_length) == 0) {
    if (response_length < 0 || (DWORD)response_length > *RxLength) {
      rc = IFD_ERROR_INSUFFICIENT_BUFFER;
    } else {
      memcpy(RxBuffer, response, (size_t)response_length);
      *RxLength = (DWORD)response_length;
      if (RecvPci) RecvPci->Protocol = SendPci.Protocol;
      rc = IFD_SUCCESS;
    }
  }
  if (rc != IFD_SUCCESS) *RxLength = 0;
  pthread_mutex_unlock(&lock);
  return rc;
}

RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength, PUCHAR RxBuffer,
                         DWORD RxLength, LPDWORD pdwBytesReturned) {
  (void)Lun;
  (void)dwControlCode;
  (void)TxBuffer;
  (void)TxLength;
  (void)RxBuffer;
  (void)RxLength;
  if (pdwBytesReturned) *pdwBytesReturned = 0;
  return IFD_ERROR_NOT_SUPPORTED;
}

RESPONSECODE IFDHICCPresence(DWORD Lun) {
  pthread_mutex_lock(&lock);
  struct reader *r = reader_of(Lun);
  RESPONSECODE rc = !r ? IFD_COMMUNICATION_ERROR : access(r->card, R_OK) == 0 ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
  pthread_mutex_unlock(&lock);
  return rc;
}
