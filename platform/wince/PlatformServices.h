// Hands the framework what it reaches of the platform only through hooks:
// the clocks and the creators of the file system, null and sound services.
#pragma once

// Called once at start-up, before the game is created.
void installPlatformServices();
