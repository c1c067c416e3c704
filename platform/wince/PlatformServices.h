// Hands the framework what it reaches of the platform only through hooks:
// the clocks and the creator of the file system service.
#pragma once

// Called once at start-up, before the game is created.
void installPlatformServices();
