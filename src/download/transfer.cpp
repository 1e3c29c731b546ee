#include "download/transfer.h"

#include "common/qarx_types.h"

namespace qarx {

bool IsSuccessStatus(uint32_t status) { return status >= 200 && status <= 299; }

int32_t TransferToFile(HttpPort& http, const std::u16string& url, WritableFile& file, HttpHandles& handles,
                       TransferObserver& observer) {
  handles.session = http.Open(std::u16string(kUserAgent));
  if (!handles.session) return -3;
  handles.request = handles.session->OpenUrl(url, INTERNET_FLAG_RELOAD);
  if (!handles.request) return -4;
  // An error page is not the file that was asked for.
  if (!IsSuccessStatus(handles.request->StatusCode())) return -4;

  observer.OnReading();
  uint8_t piece[kReadPieceBytes];
  for (;;) {
    uint32_t read = 0;
    if (!handles.request->Read(piece, sizeof piece, read)) return -5;
    if (read == 0) {
      observer.OnEnd();
      return 0;
    }
    uint32_t written = 0;
    if (!file.Write(piece, read, written)) return -6;
    observer.OnPiece(read);
  }
}

}  // namespace qarx
