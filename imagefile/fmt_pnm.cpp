#include "imagefile/codec.h"

namespace gw {

const FormatCodec kPnmCodec{};

}  // namespace gw
