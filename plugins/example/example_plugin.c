/* The example plug-in: written in C against devices/plugin_abi.h alone, as a third party would
 * write one (README, "Adding a meter type"); device types 0x0500..0x05FF, ZarnicMaster_05xx.so.
 * It exports its own read encoder under the default name and a decoder under a name of its own,
 * and leaves every other role to the base module. */
#include <stdio.h>
#include <string.h>

#include "devices/plugin_abi.h"

/* A read request with a marker word after the identifier. */
ZB_PLUGIN_EXPORT uint8_t PlainRE(ZbTransaction* record, ZbArgSlot* args, int32_t last) {
    (void)args;
    (void)last;
    if (record == NULL || record->var == NULL) {
        return 0;
    }
    const uint32_t words[2] = {record->var->vid, 0xCAFEBABEu};
    for (int w = 0; w < 2; ++w) {
        for (int b = 0; b < 4; ++b) {
            record->request[4 * w + b] = (uint8_t)(words[w] >> (8 * b));
        }
    }
    record->request_words = 2;
    return 1;
}

/* Tenths of a degree in a signed 16-bit answer, shown with the variable's units. */
ZB_PLUGIN_EXPORT const char* TenthsRD(ZbTransaction* record) {
    static _Thread_local char text[128];
    if (record == NULL || record->var == NULL || record->answer_words == 0) {
        return "tenths\1?";
    }
    const int value = (int16_t)(record->answer[0] | record->answer[1] << 8);
    const int whole = value / 10;
    const int tenth = value % 10 < 0 ? -(value % 10) : value % 10;
    snprintf(text, sizeof text, "tenths\1%s%d.%d %s", value < 0 && whole == 0 ? "-" : "", whole,
             tenth, record->var->units);
    return text;
}
