#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tolbe {

// A failure that callers need not tell apart from other failures: its text says it all.
enum class NoKind { Failed };

// What the procedures of audio, codec, core and update answer: a value, or the reason there is none
// as text for the log or the user. Where callers must act differently on different failures (the
// window picks its message by it), `Kind` names which failure it was. Nothing that returns a Result
// throws to its caller.
template <typename T, typename Kind = NoKind> class [[nodiscard]] Result {
public:
    static Result Ok(T value) { return Result(std::move(value), {}, Kind{}); }
    static Result Fail(std::string why, Kind kind = Kind{}) { return Result(std::nullopt, std::move(why), kind); }
    // The failure of another step, passed on unchanged.
    template <typename U> static Result FailAs(const Result<U, Kind>& other) {
        return Fail(other.Error(), other.ErrorKind());
    }

    explicit operator bool() const { return m_value.has_value(); }
    const T& Value() const& { return *m_value; }
    T& Value() & { return *m_value; }
    // From a temporary the value is moved out, so that `for (x : Find().Value())` holds no
    // reference into a result that is gone.
    T Value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    T& operator*() & { return *m_value; }
    T operator*() && { return std::move(*m_value); }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }
    const std::string& Error() const { return m_error; }
    Kind ErrorKind() const { return m_kind; }

private:
    Result(std::optional<T> value, std::string error, Kind kind)
        : m_value(std::move(value)), m_error(std::move(error)), m_kind(kind) {}
    std::optional<T> m_value;
    std::string m_error;
    Kind m_kind;
};

// A step that answers only whether it went: done, or the reason it did not.
struct Done {};
using Status = Result<Done>;
inline Status Ok() {
    return Status::Ok(Done{});
}
inline Status Fail(std::string why) {
    return Status::Fail(std::move(why));
}

} // namespace tolbe
