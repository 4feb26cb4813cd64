#include "imagefile/codec.h"

namespace gw {

const FormatCodec kBmpCodec{};

}  // namespace gw
