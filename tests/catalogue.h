// Shared by the host tests and the fuzz target: the code without windows on the host platform,
// machines made of the devices of the catalogue, tests/devices.txt (KESTRABIN_DEVICES), and the
// letters tracked.
#pragma once

#include <fstream>
#include <string>

#include "../platform/host/host.h"
#include "../drives/drives.h"
#include "../device/device.h"
#include "../exclusions/exclusions.h"

// The description of the devices named, "AcmeStick UasSsd".
inline std::string Machine(const std::string& names)
{
    std::ifstream catalogue(KESTRABIN_DEVICES);
    std::string machine;
    bool named = false;
    for (std::string line; std::getline(catalogue, line);) {
        if (!line.compare(0, 7, "device "))
            named = (" " + names + " ").find(" " + line.substr(7) + " ") != std::string::npos;
        else if (named && !line.empty() && line[0] != '#')
            machine += line + "\n";
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
