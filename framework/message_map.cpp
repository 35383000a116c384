#include "framework/message_map.h"

namespace {

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam)
{
    if (entry.message != message)
        return false;
    if (message != WM_COMMAND)
        return true;
    return entry.id == LOWORD(wParam) && entry.code == HIWORD(wParam);
}

}  // namespace

bool CCmdTarget::DispatchMessageMap(UINT message, WPARAM wParam, LRESULT& result)
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            if (Matches(map->entries[i], message, wParam)) {
                result = map->entries[i].handler(this);
                return true;
            }
        }
    }
    return false;
}
