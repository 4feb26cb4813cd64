#include "imagefile/codec.h"

namespace gw {

const FormatCodec kPsdCodec{};

}  // namespace gw
