// The tutorial's timed steps.
#include "game/SceenGame.h"

// The body of the tutorial step comes next.
void CSceenGame::TutorialStep() {}
