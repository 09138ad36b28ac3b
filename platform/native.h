// What each implementation of the platform layer (gtk/, win32/, headless/)
// provides beneath the shared code: the real box, dialog, desktop call or
// sound output. The shared code in front of these handles the test handlers
// and the nesting count, so each implementation only does the native part.
// Platform code only.
#pragma once
#include <string>
#include <vector>

#include "platform/credentials.h"
#include "platform/sendnet.h"

namespace plat {
namespace native {

// Called only when ToolkitReady(); returns when the player closes the box.
void ShowMessageBox(const std::string& text, const std::string& caption);
// Called only when ToolkitReady(): a button for each answer, nDefault the
// default; the position of the one chosen, or -1 when the box was closed.
int AskQuestion(const std::string& text, const std::string& caption,
                const std::vector<std::string>& arrAnswers, int nDefault);
// Called only when ToolkitReady(). False when cancelled.
bool AskCredentials(const std::string& server, const std::string& realm, CCredentials& out);
// Called only when ToolkitReady(). IDOK or IDCANCEL.
int RunSendNetDialog(SendNetFields& fields);
bool OpenUri(const std::string& uri);
// Hands text to the desktop's speech service to be said. False when no
// service runs or it has not taken the text within about half a second; it
// never blocks longer.
bool Speak(const std::string& text);
bool SpawnProgram(const std::string& program, const std::vector<std::string>& args);
// True when the calling thread is inside the toolkit's loop (a handler that
// the loop dispatched): only there may RunLoopFor run.
bool OnLoopThread();
// Runs the toolkit's loop, dispatching whatever comes, for ms milliseconds.
void RunLoopFor(unsigned ms);

}  // namespace native
}  // namespace plat
