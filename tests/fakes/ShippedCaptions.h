#pragma once
// The entries of this system in the shipped language files, in file order, as the tests expect
// to read them back.
#include <string_view>

struct ShippedCaption {
  std::u16string_view section;
  std::u16string_view key;
  std::u16string_view english;
  std::u16string_view french;
};

inline constexpr ShippedCaption ShippedCaptions[] = {
    {u"NBTrayForm", u"OpenPopup", u"Open &Nimbello", u"Ouvrir &Nimbello"},
    {u"NBTrayForm", u"FreeMemPopup", u"&Free memory now", u"&Liberer m\u00E9moire"},
    {u"NBTrayForm", u"HelpPopup", u"&Help", u"&Aide"},
    {u"NBTrayForm", u"ExitPopup", u"&Exit", u"&Quitter"},
    {u"NBTrayForm", u"TrayIcon", u"Nimbello", u"Nimbello"},
    {u"NBTrayForm", u"BalloonTitle", u"Nimbello Update", u"Mise \u00E0 jour Nimbello"},
    {u"NBTrayForm", u"BalloonHint",
     u"An update for Nimbello is available to download.  Click here to download and install the "
     u"software update.",
     u"Une mise \u00E0 jour pour Nimbello est t\u00E9l\u00E9chargeable.  Cliquez ici pour "
     u"t\u00E9l\u00E9charger et installer la mise \u00E0 jour du logiciel."},
    {u"Nimbello", u"DisplayName", u"Nimbello Memory Service", u"Nimbello Service M\u00E9moire"},
    {u"Nimbello", u"Description",
     u"Maintains memory performance by defragmenting used memory and allocating it back to the "
     u"computer system.",
     u"Maintenant les performances en d\u00E9fragmentant la m\u00E9moire utilis\u00E9e et la "
     u"r\u00E9-allouer au syst\u00E8me."},
    {u"Nimbello", u"UnsafeFolder",
     u"Users who are not administrators can change the folder %s. Install Nimbello in a folder "
     u"that only administrators can change, such as Program Files.",
     u"Des utilisateurs qui ne sont pas administrateurs peuvent modifier le dossier %s. Installez "
     u"Nimbello dans un dossier que seuls les administrateurs peuvent modifier, comme Program "
     u"Files."},
};
