#include "imagefile/codec.h"

namespace gw {

const FormatCodec kGifCodec{};

}  // namespace gw
