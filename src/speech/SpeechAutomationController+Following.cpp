#include "speech/SpeechAutomationController.h"

#include "model/PromptScript.h"
#include "speech/KeywordProgressEngine.h"
#include "speech/SpeechAlignmentEngine.h"
#include "speech/SpokenText.h"

#include <algorithm>
#include <vector>

namespace quorvia {

namespace {

const QString lowConfidenceMessage = QStringLiteral("识别持续偏离当前稿件，自动前进已暂停；可继续看进度或手动接管。");

// The last `count` user-perceived characters of the text.
QString lastCharacters(const QString& text, int count)
{
    if (text.size() <= count)
        return text;
    std::vector<int> starts;
    spokentext::forEachCharacter(text, [&](int start, int) { starts.push_back(start); });
    if (static_cast<int>(starts.size()) <= count)
        return text;
    return text.mid(starts[starts.size() - static_cast<std::size_t>(count)]);
}

} // namespace

void SpeechAutomationController::handle(const OnDeviceSpeechResult& result)
{
    if (result.text.isEmpty())
        return;
    if (result.isFinal) {
        finalizedSpeech_ = lastCharacters(finalizedSpeech_ + result.text, finalizedWindow);
        volatileSpeech_.clear();
    } else {
        volatileSpeech_ = lastCharacters(result.text, volatileWindow);
    }

    if (status_.kind == SpeechAutomationStatus::Kind::calibrating) {
        recordCalibrationResult();
        return;
    }
    if (safetyState_.kind() != PresentationSafetyState::Kind::live)
        return;
    switch (script_.promptMode()) {
    case PromptMode::wordFollow: handleWordFollow(result); break;
    case PromptMode::keyword: handleKeywords(result); break;
    case PromptMode::fixedScroll: break;
    }
}

SpeechAlignmentResult SpeechAutomationController::align(const OnDeviceSpeechResult& result)
{
    const qint64 index = script_.currentIndex();
    const auto previous = static_cast<int>(script_.spokenCharacterOffset(index));
    const SpeechAlignmentResult alignment = SpeechAlignmentEngine::align(recognizedText(), script_.currentText(), previous);
    script_.setSpeechProgress(alignment.progressUTF16, index, result.isFinal);
    return alignment;
}

SpeechAutomationStatus SpeechAutomationController::followingStatus() const
{
    // The question pause is the speaker's own choice and shows while it holds,
    // so no other pause can hide it; a low-confidence pause shows once it alone
    // holds advance back.
    if (isQuestionPaused_)
        return SpeechAutomationStatus::questionPaused();
    if (isLowConfidencePaused_)
        return SpeechAutomationStatus::degraded(lowConfidenceMessage);
    return SpeechAutomationStatus::listening(script_.promptMode());
}

void SpeechAutomationController::handleWordFollow(const OnDeviceSpeechResult& result)
{
    const SpeechAlignmentResult alignment = align(result);
    const auto sectionLength = static_cast<double>(std::max<qsizetype>(1, script_.currentText().size()));
    const double now = platform::uptime();

    const bool low = alignment.confidence < lowConfidenceConfidence || alignment.matchedCharacters < lowConfidenceMatches;
    if (low) {
        ++lowConfidenceCount_;
        if (!lowConfidenceStartedAt_)
            lowConfidenceStartedAt_ = now;
    } else {
        // A good result decays a run of low ones rather than wiping it out.
        lowConfidenceCount_ = std::max(0, lowConfidenceCount_ - 1);
        if (lowConfidenceCount_ == 0)
            lowConfidenceStartedAt_.reset();
    }

    if (lowConfidenceCount_ >= lowConfidenceCount && lowConfidenceStartedAt_
        && now - *lowConfidenceStartedAt_ >= lowConfidenceDuration) {
        isLowConfidencePaused_ = true;
        setStatus(followingStatus());
    }

    const double ratio = alignment.progressUTF16 / sectionLength;
    if (ratio < completionRatio || alignment.confidence < completionConfidence) {
        completionEvidenceCount_ = 0;
        completionStartedAt_.reset();
    } else {
        ++completionEvidenceCount_;
        if (!completionStartedAt_)
            completionStartedAt_ = now;
    }

    if (completionEvidenceCount_ >= completionEvidence && completionStartedAt_ && now - *completionStartedAt_ >= completionHold)
        completeCurrentSection(PresentationEventSource::speech);
}

void SpeechAutomationController::handleKeywords(const OnDeviceSpeechResult& result)
{
    align(result);

    const qint64 index = script_.currentIndex();
    QStringList others;
    const QStringList& sections = script_.sections();
    for (qsizetype i = 0; i < sections.size(); ++i)
        if (i != index)
            others.append(sections[i]);
    const QStringList keywords = KeywordProgressEngine::keywords(script_.currentText(), others);
    const KeywordEvaluation evaluation = KeywordProgressEngine::evaluate(recognizedText(), keywords);
    if (!evaluation.isComplete()) {
        keywordCompletionStartedAt_.reset();
        return;
    }
    const double now = platform::uptime();
    if (!keywordCompletionStartedAt_)
        keywordCompletionStartedAt_ = now;
    if (now - *keywordCompletionStartedAt_ >= keywordHold)
        completeCurrentSection(PresentationEventSource::keyword);
}

void SpeechAutomationController::completeCurrentSection(PresentationEventSource source)
{
    if (isQuestionPaused_ || isLowConfidencePaused_)
        return;
    script_.markSectionCompleted(script_.currentIndex());
    if (script_.canMoveNext())
        script_.moveNext(source);
    resetRollingRecognition();
    setStatus(SpeechAutomationStatus::listening(script_.promptMode()));
}

} // namespace quorvia
