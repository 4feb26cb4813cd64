#include "imagefile/codec.h"

namespace gw {

const FormatCodec kWbmpCodec{};

}  // namespace gw
