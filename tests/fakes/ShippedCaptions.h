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
    {u"NBTrayForm", u"ReleaseTitle", u"Nimbello", u"Nimbello"},
    {u"NBTrayForm", u"FreedHint", u"Freed %1 MB", u"%1 Mo lib\u00E9r\u00E9s"},
    {u"NBTrayForm", u"CoolDownHint", u"Memory was freed %1 s ago; try again in %2 s.",
     u"La m\u00E9moire a \u00E9t\u00E9 lib\u00E9r\u00E9e il y a %1 s ; r\u00E9essayez dans %2 s."},
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
    // The main window program's section.
    {u"NBMainForm", u"NBMainForm", u"Nimbello", u"Nimbello"},
    {u"NBMainForm", u"MemoryGroup", u"Memory now", u"M\u00E9moire actuelle"},
    {u"NBMainForm", u"TotalLabel", u"Total:", u"Totale :"},
    {u"NBMainForm", u"AvailableLabel", u"Available:", u"Disponible :"},
    {u"NBMainForm", u"InUseLabel", u"In use:", u"Utilis\u00E9e :"},
    {u"NBMainForm", u"LastReleaseLabel", u"Last release:", u"Derni\u00E8re lib\u00E9ration :"},
    {u"NBMainForm", u"HistoryLabel", u"Dropped, came back:", u"C\u00E9d\u00E9s, repris :"},
    {u"NBMainForm", u"FreeMemButton", u"&Free memory now", u"&Lib\u00E9rer la m\u00E9moire"},
    {u"NBMainForm", u"StatusGroup", u"Status", u"\u00C9tat"},
    {u"NBMainForm", u"ServiceLabel", u"Service:", u"Service :"},
    {u"NBMainForm", u"AppletLabel", u"Tray applet:", u"Ic\u00F4ne de notification :"},
    {u"NBMainForm", u"FullScreenLabel", u"Full-screen program:", u"Programme plein \u00E9cran :"},
    {u"NBMainForm", u"SettingsGroup", u"Settings", u"R\u00E9glages"},
    {u"NBMainForm", u"MaintainLabel", u"Memory to &maintain (%):",
     u"M\u00E9moire \u00E0 &maintenir (%) :"},
    {u"NBMainForm", u"FreeLabel", u"Memory to fr&ee (%):",
     u"M\u00E9moire \u00E0 lib\u00E9&rer (%) :"},
    {u"NBMainForm", u"PeriodLabel", u"Minutes &between releases:",
     u"Minutes &entre lib\u00E9rations :"},
    {u"NBMainForm", u"ProcessorCheck", u"Only when &processor use is below (%):",
     u"Si le &processeur est sous (%) :"},
    {u"NBMainForm", u"BatteryCheck", u"Not on ba&ttery", u"Pas sur ba&tterie"},
    {u"NBMainForm", u"FullScreenCheck", u"Not while a f&ull-screen program runs",
     u"Pas pendant un programme plein \u00E9&cran"},
    {u"NBMainForm", u"LoadCheck", u"&Start with Windows", u"&D\u00E9marrer avec Windows"},
    {u"NBMainForm", u"TrayIconCheck", u"Show the tray &icon", u"Afficher l'&ic\u00F4ne"},
    {u"NBMainForm", u"ColorsLabel", u"Icon colours:", u"Couleurs de l'ic\u00F4ne :"},
    {u"NBMainForm", u"BackgroundButton", u"Back&ground", u"F&ond"},
    {u"NBMainForm", u"GridButton", u"Gri&d", u"&Grille"},
    {u"NBMainForm", u"BarButton", u"Ba&r", u"&Barre"},
    {u"NBMainForm", u"LanguageLabel", u"&Language:", u"La&ngue :"},
    {u"NBMainForm", u"OKButton", u"OK", u"OK"},
    {u"NBMainForm", u"CancelButton", u"Cancel", u"Annuler"},
    {u"NBMainForm", u"ApplyButton", u"&Apply", u"&Appliquer"},
    {u"NBMainForm", u"Megabytes", u"%1 MB", u"%1 Mo"},
    {u"NBMainForm", u"InUse", u"%1 MB (%2 %)", u"%1 Mo (%2 %)"},
    {u"NBMainForm", u"MaintainHint", u"Releases when less than %1 MB is available",
     u"Lib\u00E8re quand moins de %1 Mo sont disponibles"},
    {u"NBMainForm", u"FreeHint", u"Each release asks for %1 MB",
     u"Chaque lib\u00E9ration demande %1 Mo"},
    {u"NBMainForm", u"NoRelease", u"No release yet", u"Aucune lib\u00E9ration pour l'instant"},
    {u"NBMainForm", u"LastReleaseText", u"%1: %3 of %2 MB freed in %4 ms, %5 trimmed, %6 refused",
     u"%1 : %3 Mo lib\u00E9r\u00E9s sur %2 Mo en %4 ms, %5 all\u00E9g\u00E9s, %6 refus\u00E9s"},
    {u"NBMainForm", u"MeasuredText", u"; %1 MB came back within a minute (%2 faults, %3 from disk)",
     u" ; %1 Mo repris en une minute (%2 d\u00E9fauts, %3 du disque)"},
    {u"NBMainForm", u"NotMeasuredText", u"; not measured yet", u" ; pas encore mesur\u00E9e"},
    {u"NBMainForm", u"SparedText", u"Spared: %1", u"\u00C9pargn\u00E9s : %1"},
    {u"NBMainForm", u"NoneSpared", u"Spared: none", u"\u00C9pargn\u00E9s : aucun"},
    {u"NBMainForm", u"WorkerMismatch",
     u"The release worker is 32-bit; this Windows needs the 64-bit one.",
     u"Le programme de lib\u00E9ration est en 32 bits ; ce Windows a besoin de celui en 64 bits."},
    {u"NBMainForm", u"ServiceRunning", u"Running", u"D\u00E9marr\u00E9"},
    {u"NBMainForm", u"ServicePaused", u"Paused", u"En pause"},
    {u"NBMainForm", u"ServiceStopped", u"Stopped", u"Arr\u00EAt\u00E9"},
    {u"NBMainForm", u"ServicePending", u"Changing state", u"Changement d'\u00E9tat en cours"},
    {u"NBMainForm", u"ServiceNotInstalled", u"Not installed", u"Non install\u00E9"},
    {u"NBMainForm", u"ServiceUnknown", u"Unknown", u"Inconnu"},
    {u"NBMainForm", u"AppletRunning", u"Running", u"D\u00E9marr\u00E9e"},
    {u"NBMainForm", u"AppletNotRunning", u"Not running", u"Arr\u00EAt\u00E9e"},
    {u"NBMainForm", u"FullScreenYes", u"Reported: automatic releases wait",
     u"Signal\u00E9 : les lib\u00E9rations automatiques attendent"},
    {u"NBMainForm", u"FullScreenNo", u"None", u"Aucun"},
    {u"NBMainForm", u"LanguageEnglish", u"English", u"Anglais"},
    {u"NBMainForm", u"LanguageFrench", u"French", u"Fran\u00E7ais"},
    {u"NBMainForm", u"RangeText", u"%1 must be a whole number from %2 to %3.",
     u"%1 doit \u00EAtre un nombre entier de %2 \u00E0 %3."},
    {u"NBMainForm", u"NotSavedText",
     u"These settings could not be saved: %1. Changing them needs the rights that the installer "
     u"gives to administrators.",
     u"Ces r\u00E9glages n'ont pas pu \u00EAtre enregistr\u00E9s : %1. Les modifier demande les "
     u"droits que l'installation donne aux administrateurs."},
    {u"NBMainForm", u"PolicyNote", u"Some settings are set by your administrator.",
     u"Certains r\u00E9glages sont fix\u00E9s par votre administrateur."},
};
