#pragma once

#include <QString>

#include <array>
#include <optional>

namespace quorvia {

// How the prompter follows the speaker; one per project.
enum class PromptMode {
    wordFollow,
    keyword,
    fixedScroll,
};

// In declaration order; the mode picker lists them so.
inline constexpr std::array<PromptMode, 3> allPromptModes{PromptMode::wordFollow, PromptMode::keyword, PromptMode::fixedScroll};

QString rawValue(PromptMode mode);
QString title(PromptMode mode);
std::optional<PromptMode> promptModeFromRawValue(const QString& raw);

} // namespace quorvia
