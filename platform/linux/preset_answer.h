/*
 * preset_answer.h -- message boxes answered in advance, for command-line options.
 *
 * A program's entry may answer a question of the app before WinMain asks it (--windowed and
 * --fullscreen answer the start question). MessageBoxA then returns the preset answer for a
 * box with exactly that text, shows nothing and prints nothing. Without a preset, boxes are
 * shown as always. Single thread, like the rest of the Win32 layer.
 */
#ifndef KELVO_PLATFORM_PRESET_ANSWER_H
#define KELVO_PLATFORM_PRESET_ANSWER_H

/* Every later MessageBoxA with exactly this text returns `answer` (IDYES, IDNO, ...). */
void PresetMessageBoxAnswer(const char *text, int answer);

/* Whether a box with this text has a preset answer, and that answer; for MessageBoxA. */
bool PresetAnswerFor(const char *text, int *answer);

/* Forgets every preset answer. */
void ClearPresetAnswers();

#endif
