#include "imagefile/codec.h"

namespace gw {

const FormatCodec kPcxCodec{};

}  // namespace gw
