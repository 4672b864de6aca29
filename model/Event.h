#pragma once

#include <utility>

// A method pointer: an object and a function, 16 bytes, nothing allocated. An empty
// event costs nothing and is not called. The bound object must outlive the event.
template <class Signature>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
public:
    TEvent() = default;

    // obj->Method(args...)
    template <auto Method, class C>
    static TEvent Of(C* obj)
    {
        TEvent e;
        e.obj_ = obj;
        e.fn_ = [](void* o, Args... a) -> R { return (static_cast<C*>(o)->*Method)(std::forward<Args>(a)...); };
        return e;
    }

    // callable(args...), for a callable object (a lambda) that lives elsewhere.
    template <class F>
    static TEvent Of(F& callable)
    {
        TEvent e;
        e.obj_ = const_cast<void*>(static_cast<const void*>(&callable));
        e.fn_ = [](void* o, Args... a) -> R { return (*static_cast<F*>(o))(std::forward<Args>(a)...); };
        return e;
    }
    template <class F>
    static TEvent Of(F&& temporary) = delete; // would dangle

    explicit operator bool() const { return fn_ != nullptr; }
    R operator()(Args... a) const { return fn_(obj_, std::forward<Args>(a)...); }
    bool operator==(const TEvent&) const = default;

private:
    void* obj_ = nullptr;
    R (*fn_)(void*, Args...) = nullptr;
};
