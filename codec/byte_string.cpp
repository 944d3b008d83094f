// The codec over a byte string: the same code as over any output, with the
// string resized to the result when the codec asks for it.
#include "codec.h"

static std::uint8_t* resize(void* owner, std::size_t size) {
    auto& string = *static_cast<byte_string*>(owner);
    string.resize(size);
    return string.data();
}

std::int32_t encode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv) {
    return encode_message(data, length, output_sink{resize, &output}, key, iv);
}

std::int32_t decode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv) {
    return decode_message(data, length, output_sink{resize, &output}, key, iv);
}
