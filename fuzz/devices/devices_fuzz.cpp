// Everything of the devices layer that reads bytes from outside: hexadecimal values and archive
// descriptors from concentrators, and the base plug-in's encoders and decoders with any settings
// a description file can give.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "devices/parameter_model.h"
#include "devices/plugin_abi.h"
#include "devices/value_formats.h"

namespace {

void FuzzText(const std::string& text) {
    using namespace zb::devices;
    (void)HexToInt(text);
    (void)StrToVID(text);
    (void)HexToBytes(text, 1024);
    try {
        (void)StrToHex(text);
    } catch (const EInvalidArgument&) {
    }
    (void)BackslashToLineBreaks(text);
    (void)LineBreaksToBackslash(text);
    TArch arch;
    arch.ReadDescriptor(text);
    (void)arch.PropertyStr();
}

void FuzzPlugIn(const uint8_t* data, size_t size) {
    if (size < 3) {
        return;
    }
    ZbVarSettings settings{};
    settings.size = sizeof settings;
    settings.vid = 0x00070001;
    settings.type_code = data[0];
    settings.var_len = static_cast<int8_t>(data[1]);
    settings.var_count = static_cast<int8_t>(data[2]);
    settings.title = settings.name = settings.caption = settings.units = settings.f = "";
    data += 3;
    size -= 3;

    ZbTransaction record{};
    record.var = &settings;
    const size_t answer = size < ZB_MAX_WORDS * 4 ? size : ZB_MAX_WORDS * 4;
    std::memcpy(record.answer, data, answer);
    record.answer_words = static_cast<uint8_t>((answer + 3) / 4);
    (void)std::strlen(PlainRD(&record));
    (void)std::strlen(PlainWD(&record));
    (void)std::strlen(PlainED(&record));

    // The same bytes as value lines, one per slot.
    static ZbArgSlot slots[64];
    std::memset(slots, 0, sizeof slots);
    int32_t last = 0;
    size_t length = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            if (last == 63) {
                break;
            }
            ++last;
            length = 0;
        } else if (length < 255) {
            slots[last][1 + length++] = data[i];
            slots[last][0] = static_cast<unsigned char>(length);
        }
    }
    ZbTransaction request{};
    request.var = &settings;
    if (PlainFC(&request, slots, last) != 0) {
        (void)PlainWE(&request, slots, last);
    }
    ZbTransaction read{};
    read.var = &settings;
    (void)PlainRE(&read, slots, last);
    (void)PlainALC(&read, slots, last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        FuzzText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    } else {
        FuzzPlugIn(data + 1, size - 1);
    }
    return 0;
}
