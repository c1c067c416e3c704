// What the program's entry runs before the platform starts the game.
#pragma once

// The application factory and the key-code lookup for the platform, the
// creators of the game's services, and the front end with its hooks.
void installGame();
