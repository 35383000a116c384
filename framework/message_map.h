// Static message maps: each class that handles window messages has a constant table of
// {message, notification code, control id, handler}, chained to its base class's table.
// The tables are constant data, so there is no static-initialisation order to worry about.
#pragma once

#include <windows.h>

#include <cstddef>
#include <type_traits>

class CCmdTarget;

struct MessageMapEntry {
    UINT message;
    UINT code;  // WM_COMMAND only: the notification code to match
    UINT id;    // WM_COMMAND only: the control or command id to match
    LRESULT (*handler)(CCmdTarget* target);
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
    std::size_t count;
};

namespace message_map_detail {

template <class T>
struct Member;
template <class C, class R>
struct Member<R (C::*)()> {
    using Class = C;
    using Result = R;
};

// Calls a handler that takes nothing; one that returns a value hands it back as the result.
template <auto Handler>
LRESULT Invoke(CCmdTarget* target)
{
    using M = Member<decltype(Handler)>;
    auto* object = static_cast<typename M::Class*>(target);
    if constexpr (std::is_void_v<typename M::Result>) {
        (object->*Handler)();
        return 0;
    } else {
        return reinterpret_cast<LRESULT>((object->*Handler)());
    }
}

}  // namespace message_map_detail

template <auto Handler>
constexpr MessageMapEntry OnMessage(UINT message)
{
    return {message, 0, 0, &message_map_detail::Invoke<Handler>};
}

template <auto Handler>
constexpr MessageMapEntry OnCommand(UINT id, UINT code = BN_CLICKED)
{
    return {WM_COMMAND, code, id, &message_map_detail::Invoke<Handler>};
}

template <std::size_t N>
constexpr MessageMap MakeMessageMap(const MessageMap* base, const MessageMapEntry (&entries)[N])
{
    return {base, entries, N};
}

// The root of every message-handling class.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual const MessageMap* GetMessageMap() const { return nullptr; }

    // Runs the first matching entry of this object's map chain, derived entries first.
    bool DispatchMessageMap(UINT message, WPARAM wParam, LRESULT& result);
};
