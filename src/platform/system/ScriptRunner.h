#pragma once

#include <QString>

#include <expected>
#include <optional>
#include <vector>

namespace quorvia::platform {

// What a script answered: one text, a list whose items may lack a text, or
// nothing. The forms never stand in for each other: a text is not a one-item
// list and a list has no text.
class ScriptReply {
public:
    static ScriptReply none() { return ScriptReply(); }
    static ScriptReply text(const QString& value);
    static ScriptReply list(std::vector<std::optional<QString>> items);

    std::optional<QString> stringValue() const { return text_; }
    bool isList() const { return isList_; }
    // 0 for anything but a list.
    int numberOfItems() const { return static_cast<int>(items_.size()); }
    // Counted from 1; nothing outside the list.
    std::optional<QString> item(int index) const;

    bool operator==(const ScriptReply&) const = default;

private:
    std::optional<QString> text_;
    bool isList_ = false;
    std::vector<std::optional<QString>> items_;
};

enum class ScriptErrorKind {
    cannotCompile, // the text could not be made into a script
    failed,        // the script ran and reported an error
};

struct ScriptError {
    ScriptErrorKind kind = ScriptErrorKind::failed;
    std::optional<int> number; // the error number, when the run reported one
    QString message;

    QString description() const;
};

using ScriptResult = std::expected<ScriptReply, ScriptError>;

// Runs script texts against other applications.
class ScriptRunner {
public:
    // The user has not allowed this application to control the target.
    static constexpr int automationDeniedErrorNumber = -1743;

    virtual ~ScriptRunner() = default;

    // Compiles the text afresh and runs it, blocking the calling thread until
    // the target answers. Called from background queues, so implementations
    // must be safe to call from any thread.
    virtual ScriptResult run(const QString& source) = 0;
};

} // namespace quorvia::platform
