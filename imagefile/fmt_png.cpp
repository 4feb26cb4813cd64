#include "imagefile/codec.h"

namespace gw {

const FormatCodec kPngCodec{};

}  // namespace gw
