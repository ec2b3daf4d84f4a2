#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tolbe::update {

// What every procedure of the update answers: a value, or the reason there is none. Nothing in
// the update throws to its caller; the reason is text for the log or the user.
template <typename T> class Result {
public:
    static Result Ok(T value) { return Result(std::move(value), {}); }
    static Result Fail(std::string why) { return Result(std::nullopt, std::move(why)); }

    explicit operator bool() const { return m_value.has_value(); }
    const T& Value() const { return *m_value; }
    const T& operator*() const { return *m_value; }
    T& Value() { return *m_value; }
    const std::string& Error() const { return m_error; }

private:
    Result(std::optional<T> value, std::string error) : m_value(std::move(value)), m_error(std::move(error)) {}
    std::optional<T> m_value;
    std::string m_error;
};

// A step that answers only whether it went: true, or the reason it did not.
struct Done {};
inline Result<Done> Ok() {
    return Result<Done>::Ok(Done{});
}

} // namespace tolbe::update
