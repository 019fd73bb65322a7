#pragma once

// What a person typed, checked: the value, or the words that say what is wrong with it (shown
// as typed, naming the part). Used where the input is words to begin with: options on the
// command line, boxes in a dialog.

#include <QString>

#include <optional>
#include <utility>

template <typename T> class Checked
{
public:
    Checked(T value)
        : m_value(std::move(value))
    {
    }
    static Checked refused(QString why)
    {
        Checked c;
        c.m_error = std::move(why);
        return c;
    }
    explicit operator bool() const { return m_value.has_value(); }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return &*m_value; }
    const QString &error() const { return m_error; }

private:
    Checked() = default;
    std::optional<T> m_value;
    QString m_error;
};
