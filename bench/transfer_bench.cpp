// Fetches one URL into a file with the HTTP component, OnDownloadProgress
// assigned, at a given block size, and prints the bytes and seconds.
//
//   qorv_transfer_bench URL OUTPUT BLOCKSIZE
//
// Output: one line "bytes <n> seconds <s>"; exit 0 only for OnDone.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/messages/Messages.h"
#include "transfer/auHTTP.h"

int main(int argc, char** argv) {
  using namespace qorv;
  using namespace qorv::platform;
  if (argc != 4) {
    std::fprintf(stderr, "usage: qorv_transfer_bench URL OUTPUT BLOCKSIZE\n");
    return 2;
  }
  InitMessageLoop();
  auto* http = new TauCustomHTTP(nullptr);
  http->URL = argv[1];
  http->OutputFileName = argv[2];
  http->SetTransferBufferSize(static_cast<TauBufferSize>(std::strtoul(argv[3], nullptr, 10)));
  http->Proxy()->AccessType = atDirect;
  bool finished = false;
  bool done = false;
  DWORD size = 0;
  std::uint64_t progressEvents = 0;
  http->OnDownloadProgress = TauHTTPProgressEvent(
      nullptr, [&](TObject*, const std::string&, DWORD, DWORD, DWORD, std::int32_t, std::uint8_t, float,
                   TStream*) { ++progressEvents; });
  http->OnDone = TauHTTPDoneEvent(nullptr, [&](TObject*, const std::string&, DWORD dataSize, TStream*) {
    finished = done = true;
    size = dataSize;
  });
  auto failed = TNotifyEvent(nullptr, [&](TObject*) { finished = true; });
  http->OnTransferFailed = failed;
  http->OnTransferSkipped = failed;
  const auto start = std::chrono::steady_clock::now();
  if (!http->StartTransfer(false)) return 1;
  while (!finished) {
    MsgWaitForMultipleObjects(0, nullptr, 0, 50, QS_ALLINPUT);
    ProcessMessages();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  while (http->Running()) {
    MsgWaitForMultipleObjects(0, nullptr, 0, 10, QS_ALLINPUT);
    ProcessMessages();
  }
  http->Free();
  std::printf("bytes %u seconds %.4f progress %llu\n", size, seconds, static_cast<unsigned long long>(progressEvents));
  return done ? 0 : 1;
}
