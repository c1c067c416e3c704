// Writes the image readers' fuzz seeds into a folder: imageseeds DIR.
#include "tools/image/ImageFuzzInput.h"
#include "tools/image/SeedFolder.h"

int main(int argc, char** argv)
{
    return writeSeedFolder(argc, argv, makeImageSeeds());
}
