#include "imagefile/codec.h"

namespace gw {

const FormatCodec kJpegCodec{};

}  // namespace gw
