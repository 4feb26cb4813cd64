#include "imagefile/codec.h"

namespace gw {

const FormatCodec kDcxCodec{};

}  // namespace gw
