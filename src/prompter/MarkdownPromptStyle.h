#pragma once

namespace quorvia {

// The light Markdown styles the prompter renders.
struct MarkdownPromptStyle {
    enum class Kind { heading, strong, emphasis, code, quote, list };

    Kind kind = Kind::strong;
    // 1 to 6 for headings, 0 otherwise.
    int level = 0;

    static MarkdownPromptStyle heading(int level) { return {Kind::heading, level}; }
    static MarkdownPromptStyle strong() { return {Kind::strong, 0}; }
    static MarkdownPromptStyle emphasis() { return {Kind::emphasis, 0}; }
    static MarkdownPromptStyle code() { return {Kind::code, 0}; }
    static MarkdownPromptStyle quote() { return {Kind::quote, 0}; }
    static MarkdownPromptStyle list() { return {Kind::list, 0}; }

    bool operator==(const MarkdownPromptStyle&) const = default;
};

} // namespace quorvia
