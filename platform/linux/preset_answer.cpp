// Message-box answers given in advance by the program's entry.

#include "platform/linux/preset_answer.h"

#include <string>
#include <vector>

namespace {

struct PresetAnswer {
    std::string text;
    int answer;
};

// Written by PresetMessageBoxAnswer and ClearPresetAnswers only.
std::vector<PresetAnswer> presets;

} // namespace

void PresetMessageBoxAnswer(const char *text, int answer)
{
    for (PresetAnswer &preset : presets)
        if (preset.text == text) {
            preset.answer = answer;
            return;
        }
    presets.push_back({text, answer});
}

bool PresetAnswerFor(const char *text, int *answer)
{
    for (const PresetAnswer &preset : presets)
        if (text && preset.text == text) {
            *answer = preset.answer;
            return true;
        }
    return false;
}

void ClearPresetAnswers()
{
    presets.clear();
}
