#include "imagefile/codec.h"

namespace gw {

const FormatCodec kTgaCodec{};

}  // namespace gw
