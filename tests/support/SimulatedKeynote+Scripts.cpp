#include "support/SimulatedKeynote.h"

#include <climits>

namespace quorvia::test {

using platform::ScriptError;
using platform::ScriptErrorKind;
using platform::ScriptReply;
using platform::ScriptResult;

namespace {

const QString kMismatchTail = QStringLiteral(" then return \"DOCUMENT_MISMATCH\"");
const QString kSeparator = QStringLiteral(" & linefeed & ");

class Lines {
public:
    explicit Lines(const QString& source) : lines_(source.split(u'\n', Qt::KeepEmptyParts)) {}
    bool next(const QString& expected)
    {
        if (index_ < lines_.size() && lines_[index_] == expected) {
            ++index_;
            return true;
        }
        return false;
    }
    std::optional<QString> peek() const
    {
        return index_ < lines_.size() ? std::optional<QString>(lines_[index_]) : std::nullopt;
    }
    void skip() { ++index_; }
    bool atEnd() const { return index_ == lines_.size(); }

private:
    QStringList lines_;
    qsizetype index_ = 0;
};

std::optional<qint64> integer(const QString& text)
{
    const qsizetype start = text.startsWith(u'-') ? 1 : 0;
    if (text.size() == start || text.size() > 18)
        return std::nullopt;
    for (qsizetype i = start; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    return text.toLongLong();
}

// "prefix<integer>suffix" as a whole line.
std::optional<qint64> integerBetween(const QString& line, const QString& prefix, const QString& suffix)
{
    if (!line.startsWith(prefix) || !line.endsWith(suffix) || line.size() < prefix.size() + suffix.size())
        return std::nullopt;
    return integer(line.mid(prefix.size(), line.size() - prefix.size() - suffix.size()));
}

// Literals joined by " & linefeed & ", starting at pos; pos ends after the last literal.
std::optional<QString> textExpression(const QString& line, qsizetype& pos)
{
    QString value;
    for (;;) {
        if (pos >= line.size() || line[pos] != u'"')
            return std::nullopt;
        ++pos;
        for (;;) {
            if (pos >= line.size())
                return std::nullopt;
            const QChar c = line[pos++];
            if (c == u'"')
                break;
            if (c == u'\\') {
                if (pos >= line.size() || (line[pos] != u'\\' && line[pos] != u'"'))
                    return std::nullopt;
                value += line[pos++];
                continue;
            }
            value += c;
        }
        if (QStringView(line).mid(pos).startsWith(kSeparator)) {
            pos += kSeparator.size();
            value += u'\n';
            continue;
        }
        return value;
    }
}

// "prefix<expression>suffix" as a whole line.
std::optional<QString> textBetween(const QString& line, const QString& prefix, const QString& suffix)
{
    if (!line.startsWith(prefix))
        return std::nullopt;
    qsizetype pos = prefix.size();
    auto value = textExpression(line, pos);
    if (!value || QStringView(line).mid(pos) != suffix)
        return std::nullopt;
    return value;
}

QString indent(int n) { return QString(n, u' '); }

ScriptResult failure(int number, const QString& message)
{
    return std::unexpected(ScriptError{ScriptErrorKind::failed, number, message});
}

} // namespace

struct SimulatedKeynote::Parsed {
    Request request = Request::stateRead;
    int slide = 0;
    QString command;
    qint64 expectedCount = 0;
    bool byPath = false;
    QString expectedText; // path or name
    std::vector<qint64> slides;
    std::vector<std::pair<qint64, QString>> writes;
};

std::optional<SimulatedKeynote::Parsed> SimulatedKeynote::parse(const QString& source) const
{
    Lines lines(source);
    Parsed script;
    if (!lines.next(QStringLiteral("tell application id \"") + bundleIdentifier_ + u'"'))
        return std::nullopt;
    if (!lines.next(indent(4) + QStringLiteral("if (count of documents) is 0 then return \"NO_DOCUMENT\"")))
        return std::nullopt;

    const auto stateTail = [&lines] {
        return lines.next(indent(4) + QStringLiteral("set playbackState to playing"))
            && lines.next(indent(4) + QStringLiteral("set documentName to name of front document"))
            && lines.next(indent(4) + QStringLiteral("set documentPath to \"\""))
            && lines.next(indent(4) + QStringLiteral("try"))
            && lines.next(indent(8) + QStringLiteral("set documentPath to POSIX path of (file of front document)"))
            && lines.next(indent(4) + QStringLiteral("end try"))
            && lines.next(indent(4) + QStringLiteral("tell front document"))
            && lines.next(indent(8)
                          + QStringLiteral("return (slide number of current slide as text) & (character id 31) & (count of slides as text) & (character id 31) & (playbackState as text) & (character id 31) & documentName & (character id 31) & documentPath"))
            && lines.next(indent(4) + QStringLiteral("end tell")) && lines.next(QStringLiteral("end tell"))
            && lines.atEnd();
    };

    const auto line = lines.peek();
    if (!line)
        return std::nullopt;

    if (*line == indent(4) + QStringLiteral("set playbackState to playing")) {
        script.request = Request::stateRead;
        return stateTail() ? std::optional(script) : std::nullopt;
    }

    if (*line == indent(4) + QStringLiteral("tell front document")) {
        lines.skip();
        const auto bound = lines.peek();
        const auto n = bound ? integerBetween(*bound, indent(8) + QStringLiteral("if "),
                                              QStringLiteral(" > (count of slides) then return \"OUT_OF_RANGE\""))
                             : std::nullopt;
        if (!n || *n < INT_MIN || *n > INT_MAX)
            return std::nullopt;
        lines.skip();
        if (!lines.next(indent(8) + QStringLiteral("set current slide to slide ") + QString::number(*n))
            || !lines.next(indent(4) + QStringLiteral("end tell")))
            return std::nullopt;
        script.request = Request::goToSlide;
        script.slide = static_cast<int>(*n);
        return stateTail() ? std::optional(script) : std::nullopt;
    }

    for (const auto& command : {QStringLiteral("show next"), QStringLiteral("show previous"),
                                QStringLiteral("start front document from current slide of front document"),
                                QStringLiteral("stop front document")}) {
        if (*line == indent(4) + command) {
            lines.skip();
            if (!lines.next(indent(4) + QStringLiteral("delay 0.15")))
                return std::nullopt;
            script.request = Request::playback;
            script.command = command;
            return stateTail() ? std::optional(script) : std::nullopt;
        }
    }

    // The document validation block, first line indented by the caller.
    if (!lines.next(indent(4) + QStringLiteral("set documentName to name of front document"))
        || !lines.next(QStringLiteral("set documentPath to \"\"")) || !lines.next(QStringLiteral("try"))
        || !lines.next(indent(4) + QStringLiteral("set documentPath to POSIX path of (file of front document)"))
        || !lines.next(QStringLiteral("end try")) || !lines.next(QStringLiteral("tell front document")))
        return std::nullopt;
    const auto countLine = lines.peek();
    const auto count = countLine
        ? integerBetween(*countLine, indent(4) + QStringLiteral("if (count of slides) is not "), kMismatchTail)
        : std::nullopt;
    if (!count)
        return std::nullopt;
    script.expectedCount = *count;
    lines.skip();
    if (!lines.next(QStringLiteral("end tell")))
        return std::nullopt;
    const auto identityLine = lines.peek();
    if (!identityLine)
        return std::nullopt;
    if (auto path = textBetween(*identityLine, QStringLiteral("if documentPath is not "), kMismatchTail)) {
        script.byPath = true;
        script.expectedText = *path;
    } else if (auto name = textBetween(*identityLine, QStringLiteral("if documentName is not "), kMismatchTail)) {
        script.expectedText = *name;
    } else {
        return std::nullopt;
    }
    lines.skip();

    if (lines.next(indent(4) + QStringLiteral("set noteValues to {}"))) {
        if (!lines.next(indent(4) + QStringLiteral("tell front document")))
            return std::nullopt;
        int column = 8;
        while (auto read = lines.peek()) {
            const auto slide = integerBetween(*read, indent(column) + QStringLiteral("set end of noteValues to (presenter notes of slide "),
                                              QStringLiteral(" as text)"));
            if (!slide)
                break;
            script.slides.push_back(*slide);
            lines.skip();
            column = 12;
        }
        if (script.slides.empty() || !lines.next(indent(4) + QStringLiteral("end tell"))
            || !lines.next(indent(4) + QStringLiteral("return noteValues")) || !lines.next(QStringLiteral("end tell"))
            || !lines.atEnd())
            return std::nullopt;
        script.request = Request::notesRead;
        return script;
    }

    if (!lines.next(indent(4) + QStringLiteral("tell front document")))
        return std::nullopt;
    int column = 8;
    while (auto write = lines.peek()) {
        const QString prefix = indent(column) + QStringLiteral("set presenter notes of slide ");
        if (!write->startsWith(prefix))
            break;
        const qsizetype to = write->indexOf(QStringLiteral(" to "), prefix.size());
        const auto slide = to < 0 ? std::nullopt : integer(write->mid(prefix.size(), to - prefix.size()));
        const auto text = to < 0 ? std::nullopt : textBetween(write->mid(to + 4), QString(), QString());
        if (!slide || !text)
            return std::nullopt;
        script.writes.emplace_back(*slide, *text);
        lines.skip();
        column = 12;
    }
    if (script.writes.empty() || !lines.next(indent(4) + QStringLiteral("end tell"))
        || !lines.next(indent(4) + QStringLiteral("return \"OK\"")) || !lines.next(QStringLiteral("end tell"))
        || !lines.atEnd())
        return std::nullopt;
    script.request = Request::notesReplace;
    return script;
}

ScriptResult SimulatedKeynote::run(const QString& source)
{
    std::unique_lock lock(mutex_);
    received_ << source;
    const auto script = parse(source);
    if (!script)
        return std::unexpected(ScriptError{ScriptErrorKind::cannotCompile, syntaxErrorNumber,
                                           QStringLiteral("syntax error")});
    requests_.push_back(script->request);

    if (holding_) {
        const int ticket = ++heldTickets_;
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return releasedTickets_ >= ticket; });
        --waiting_;
    }

    if (denied_)
        return failure(platform::ScriptRunner::automationDeniedErrorNumber, QStringLiteral("not authorized"));
    if (!running_)
        return failure(notRunningErrorNumber, QStringLiteral("application isn't running"));
    if (!overrides_.empty()) {
        auto result = std::move(overrides_.front());
        overrides_.pop_front();
        return result;
    }
    return evaluate(*script);
}

ScriptResult SimulatedKeynote::evaluate(const Parsed& script)
{
    Document* document = front();
    if (!document)
        return ScriptReply::text(QStringLiteral("NO_DOCUMENT"));

    switch (script.request) {
    case Request::stateRead:
        return stateReply();
    case Request::goToSlide:
        if (script.slide > document->slideCount())
            return ScriptReply::text(QStringLiteral("OUT_OF_RANGE"));
        if (script.slide < 1)
            return failure(invalidIndexErrorNumber, QStringLiteral("invalid index"));
        document->currentSlide = script.slide;
        return stateReply();
    case Request::playback:
        if (script.command == QStringLiteral("show next")) {
            if (playing_ && document->currentSlide < document->slideCount())
                ++document->currentSlide;
        } else if (script.command == QStringLiteral("show previous")) {
            if (playing_ && document->currentSlide > 1)
                --document->currentSlide;
        } else if (script.command.startsWith(QStringLiteral("start"))) {
            playing_ = true;
        } else {
            playing_ = false;
        }
        return stateReply();
    case Request::notesRead:
    case Request::notesReplace:
        break;
    }

    // The validation block; AppleScript compares texts ignoring case.
    if (document->slideCount() != script.expectedCount)
        return ScriptReply::text(QStringLiteral("DOCUMENT_MISMATCH"));
    const QString actual = script.byPath ? document->path.value_or(QString()) : document->name;
    if (actual.compare(script.expectedText, Qt::CaseInsensitive) != 0)
        return ScriptReply::text(QStringLiteral("DOCUMENT_MISMATCH"));

    if (script.request == Request::notesRead) {
        std::vector<std::optional<QString>> items;
        for (const qint64 slide : script.slides) {
            if (slide < 1 || slide > document->slideCount())
                return failure(invalidIndexErrorNumber, QStringLiteral("invalid index"));
            items.emplace_back(document->notes[static_cast<std::size_t>(slide - 1)]);
        }
        return ScriptReply::list(std::move(items));
    }
    for (const auto& [slide, text] : script.writes) {
        // Slides before a bad index stay written, as in Keynote.
        if (slide < 1 || slide > document->slideCount())
            return failure(invalidIndexErrorNumber, QStringLiteral("invalid index"));
        document->notes[static_cast<std::size_t>(slide - 1)] = text;
        written_.push_back(slide);
    }
    return ScriptReply::text(QStringLiteral("OK"));
}

ScriptReply SimulatedKeynote::stateReply() const
{
    const Document* document = front();
    const QChar separator(u'\x1F');
    return ScriptReply::text(QString::number(document->currentSlide) + separator
                             + QString::number(document->slideCount()) + separator
                             + (playing_ ? QStringLiteral("true") : QStringLiteral("false")) + separator
                             + document->name + separator + document->path.value_or(QString()));
}

} // namespace quorvia::test
