// Writes the font reader's fuzz seeds into a folder: fontseeds DIR.
#include "tools/font/FontFuzzInput.h"
#include "tools/image/SeedFolder.h"

int main(int argc, char** argv)
{
    return writeSeedFolder(argc, argv, makeFontSeeds());
}
