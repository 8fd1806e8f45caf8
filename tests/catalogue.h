// Shared by the host tests and the fuzz target: the code without windows on the host platform,
// machines made of the devices of the catalogue, and the letters tracked. The catalogue,
// tests/devices/ (KESTRABIN_DEVICES), describes each simulated device in a file of its name, in the
// lines of the simulated machine's description (platform/sim/machine.h) and the forms Windows
// writes; each device keeps its own letters, disk numbers and nodes, so that any of them fit
// together.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "../platform/host/host.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

// The description of the devices named, "AcmeStick UasSsd", in that order: their files' lines.
inline std::string Machine(const std::string& names)
{
    std::istringstream words(names);
    std::string machine;
    for (std::string name; words >> name;) {
        std::ifstream file(KESTRABIN_DEVICES "/" + name + ".txt");
        machine += std::string(std::istreambuf_iterator<char>(file), {});
    }
    return machine;
}

// The tracked drives' letters.
inline std::string Tracked()
{
    char letters[TRACKED_LETTERS_SIZE] = {};
    GetTrackedLetters(letters, TRACKED_LETTERS_SIZE);
    return letters;
}
