// Feeds arbitrary bytes to the picture header reader, which must never read out of bounds and
// must keep every accepted size within the cap.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/host/Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  host::TPictureInfo info;
  if (host::ReadPictureHeader(AData, ASize, info)) {
    if (info.Format == host::pfNone || info.Width < 1 || info.Height < 1 ||
        info.Width > host::MaxPictureDimension || info.Height > host::MaxPictureDimension ||
        info.DpiX < 0 || info.DpiY < 0) {
      std::abort();
    }
  } else if (info.Format != host::pfNone || info.Width != 0) {
    std::abort();
  }
  return 0;
}
