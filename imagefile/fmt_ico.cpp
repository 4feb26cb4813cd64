#include "imagefile/codec.h"

namespace gw {

const FormatCodec kIcoCodec{};
const FormatCodec kCurCodec{};

}  // namespace gw
