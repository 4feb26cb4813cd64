#include "imagefile/codec.h"

namespace gw {

const FormatCodec kTiffCodec{};

}  // namespace gw
