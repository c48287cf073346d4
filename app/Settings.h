// The registry setting: the owner identifier sent with every recording.
#pragma once

// Fills g_szOwnerID from HKEY_LOCAL_MACHINE\SOFTWARE\Melodex, value ownerID, or with the
// default owner identifier "5183". Called once by start-up before the first screen is shown.
void LoadSettings();
