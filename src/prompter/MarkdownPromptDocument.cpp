#include "prompter/MarkdownPromptDocument.h"

#include "platform/core/Text.h"

#include <algorithm>
#include <optional>

namespace quorvia {

namespace {

struct Token {
    int rawStart = 0;
    int rawEnd = 0;
    // The character when the token is one UTF-16 unit, else 0; a character
    // carrying a combining mark is never a delimiter.
    char16_t ch = 0;
    // "\n", "\r" and "\r\n" (one cluster) all break lines.
    bool isLineBreak = false;
};

} // namespace

class MarkdownPromptParser {
public:
    explicit MarkdownPromptParser(const QString& raw) : raw_(raw)
    {
        const QList<int> bounds = platform::text::graphemeBoundaries(raw);
        tokens_.reserve(bounds.size());
        for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
            Token t{bounds[i], bounds[i + 1], 0, false};
            const int len = t.rawEnd - t.rawStart;
            if (len == 1)
                t.ch = raw.at(t.rawStart).unicode();
            t.isLineBreak = t.ch == u'\n' || t.ch == u'\r'
                || (len == 2 && raw.at(t.rawStart) == u'\r' && raw.at(t.rawStart + 1) == u'\n');
            tokens_.push_back(t);
        }
        doc_.rawLength_ = static_cast<int>(raw.size());
        doc_.string_.reserve(raw.size());
        doc_.rawBoundaryByRenderedBoundary_.reserve(raw.size() + 1);
    }

    MarkdownPromptDocument parse()
    {
        const int count = static_cast<int>(tokens_.size());
        int i = 0;
        while (i < count) {
            int j = i;
            while (j < count && !tokens_[j].isLineBreak)
                ++j;
            parseLine(i, j);
            if (j >= count)
                break;
            int k = j;
            while (k < count && tokens_[k].isLineBreak)
                ++k;
            appendPiece(QStringLiteral("\n"), tokens_[j].rawStart, tokens_[k - 1].rawEnd);
            i = k;
        }
        auto& bounds = doc_.rawBoundaryByRenderedBoundary_;
        doc_.contentEnd_ = bounds.back();
        bounds.back() = doc_.rawLength_;
        return std::move(doc_);
    }

private:
    char16_t at(int i) const { return tokens_[i].ch; }

    int renderedLength() const { return static_cast<int>(doc_.string_.size()); }

    void appendPiece(QStringView piece, int rawStart, int rawEnd)
    {
        const int n = static_cast<int>(piece.size());
        if (n <= 0)
            return;
        doc_.string_.append(piece);
        const long long span = rawEnd - rawStart;
        for (int i = 1; i <= n; ++i) {
            // Round half away from zero; every term is non-negative.
            const long long scaled = 2 * span * i + n;
            doc_.rawBoundaryByRenderedBoundary_.push_back(rawStart + static_cast<int>(scaled / (2LL * n)));
        }
    }

    void appendToken(int i)
    {
        const Token& t = tokens_[i];
        appendPiece(QStringView(raw_).mid(t.rawStart, t.rawEnd - t.rawStart), t.rawStart, t.rawEnd);
    }

    void closeSpan(int start, MarkdownPromptStyle style)
    {
        const int end = renderedLength();
        if (start < end)
            doc_.spans_.push_back({start, end - start, style});
    }

    void parseLine(int s, int e)
    {
        if (s >= e)
            return;
        int contentStart = s;
        std::optional<MarkdownPromptStyle> lineStyle;

        int hashes = 0;
        while (hashes < 6 && s + hashes < e && at(s + hashes) == u'#')
            ++hashes;
        if (hashes >= 1 && s + hashes < e && at(s + hashes) == u' ') {
            lineStyle = MarkdownPromptStyle::heading(hashes);
            contentStart = s + hashes + 1;
        } else if (e - s >= 2 && (at(s) == u'-' || at(s) == u'*' || at(s) == u'+') && at(s + 1) == u' ') {
            appendPiece(u"\u2022 ", tokens_[s].rawStart, tokens_[s + 1].rawEnd);
            lineStyle = MarkdownPromptStyle::list();
            contentStart = s + 2;
        } else if (e - s >= 2 && at(s) == u'>' && at(s + 1) == u' ') {
            appendPiece(u"\u258C ", tokens_[s].rawStart, tokens_[s + 1].rawEnd);
            lineStyle = MarkdownPromptStyle::quote();
            contentStart = s + 2;
        }

        const int start = renderedLength();
        parseInline(contentStart, e);
        if (lineStyle)
            closeSpan(start, *lineStyle);
    }

    void parseInline(int a, int e)
    {
        int p = a;
        while (p < e) {
            const char16_t c = at(p);
            if (c == u'`') {
                int close = p + 1;
                while (close < e && at(close) != u'`')
                    ++close;
                if (close < e) {
                    const int start = renderedLength();
                    for (int k = p + 1; k < close; ++k)
                        appendToken(k);
                    closeSpan(start, MarkdownPromptStyle::code());
                    p = close + 1;
                    continue;
                }
            }
            if (c == u'*' || c == u'_') {
                if (p + 1 < e && at(p + 1) == c) {
                    int q = p + 2;
                    while (q + 1 < e && !(at(q) == c && at(q + 1) == c))
                        ++q;
                    if (q + 1 < e) {
                        const int start = renderedLength();
                        parseInline(p + 2, q);
                        closeSpan(start, MarkdownPromptStyle::strong());
                        p = q + 2;
                        continue;
                    }
                }
                int q = p + 1;
                while (q < e && at(q) != c)
                    ++q;
                if (q < e) {
                    const int start = renderedLength();
                    parseInline(p + 1, q);
                    closeSpan(start, MarkdownPromptStyle::emphasis());
                    p = q + 1;
                    continue;
                }
            }
            appendToken(p);
            ++p;
        }
    }

    const QString& raw_;
    std::vector<Token> tokens_;
    MarkdownPromptDocument doc_;
};

MarkdownPromptDocument MarkdownPromptDocument::render(const QString& raw)
{
    return MarkdownPromptParser(raw).parse();
}

int MarkdownPromptDocument::renderedOffset(int rawOffset) const
{
    const int clamped = std::clamp(rawOffset, 0, rawLength_);
    const int length = static_cast<int>(string_.size());
    // Trailing markup stretches the last entry to the raw end; what was shown
    // before it is still all behind this offset.
    if (length > 0 && clamped >= contentEnd_)
        return length;
    const auto& b = rawBoundaryByRenderedBoundary_;
    const auto it = std::upper_bound(b.begin(), b.end(), clamped);
    return std::max(0, static_cast<int>(it - b.begin()) - 1);
}

int MarkdownPromptDocument::rawOffset(int renderedOffset) const
{
    const auto& b = rawBoundaryByRenderedBoundary_;
    const int index = std::clamp(renderedOffset, 0, static_cast<int>(b.size()) - 1);
    return b[static_cast<std::size_t>(index)];
}

} // namespace quorvia
