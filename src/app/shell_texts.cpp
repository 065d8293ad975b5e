#include "app/shell_texts.h"

#include <cstdio>

namespace zb::app::texts {

std::string StatusConnections(int64_t count) {
    return "Соединения: " + std::to_string(count);
}

std::string StatusFiles(int32_t filesIn, int32_t filesOut) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Файлы in|out: %d|%d", filesIn, filesOut);
    return buf;
}

}  // namespace zb::app::texts
