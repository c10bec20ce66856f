<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Commands</name>
    <message>
        <source>&amp;Ripping ...	Ctrl+R</source>
        <translation>&amp;Rippen ...	Ctrl+R</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to media file, type is specified by each track</source>
        <translation>Rippt die ausgewählten Titel in Mediendateien, im Format, das für jeden Titel eingestellt ist</translation>
    </message>
    <message>
        <source>Ripping ...</source>
        <translation>Rippen ...</translation>
    </message>
    <message>
        <source>Ripping &amp;WAV files</source>
        <translation>&amp;WAV-Dateien rippen</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to WAV file</source>
        <translation>Rippt die ausgewählten Titel in WAV-Dateien</translation>
    </message>
    <message>
        <source>Ripping &amp;MP3 files</source>
        <translation>&amp;MP3-Dateien rippen</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to MP3 file</source>
        <translation>Rippt die ausgewählten Titel in MP3-Dateien</translation>
    </message>
    <message>
        <source>Ripping &amp;APE files</source>
        <translation>&amp;APE-Dateien rippen</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to APE file</source>
        <translation>Rippt die ausgewählten Titel in APE-Dateien</translation>
    </message>
    <message>
        <source>Rip to F&amp;LAC ...</source>
        <translation>Als &amp;FLAC rippen ...</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to FLAC file</source>
        <translation>Rippt die ausgewählten Titel in FLAC-Dateien</translation>
    </message>
    <message>
        <source>Rip to Op&amp;us ...</source>
        <translation>Als &amp;Opus rippen ...</translation>
    </message>
    <message>
        <source>Ripping selected track(s) to Opus file</source>
        <translation>Rippt die ausgewählten Titel in Opus-Dateien</translation>
    </message>
    <message>
        <source>&amp;Select All Track(s)</source>
        <translation>Alle Titel a&amp;uswählen</translation>
    </message>
    <message>
        <source>Select all track(s)</source>
        <translation>Wählt alle Titel aus</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>S&amp;elect None</source>
        <translation>&amp;Keinen Titel auswählen</translation>
    </message>
    <message>
        <source>Don&apos;t select any track</source>
        <translation>Hebt die Auswahl aller Titel auf</translation>
    </message>
    <message>
        <source>Select None</source>
        <translation>Keinen auswählen</translation>
    </message>
    <message>
        <source>&amp;Edit Track	Double Click</source>
        <translation>Titel &amp;bearbeiten	Doppelklick</translation>
    </message>
    <message>
        <source>Show the edit dialog for track name</source>
        <translation>Öffnet den Dialog zum Bearbeiten des Titels</translation>
    </message>
    <message>
        <source>&amp;Play	Ctrl+P</source>
        <translation>Ab&amp;spielen	Ctrl+P</translation>
    </message>
    <message>
        <source>Play selected track</source>
        <translation>Spielt den ausgewählten Titel ab</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>St&amp;op	Ctrl+S</source>
        <translation>Sto&amp;ppen	Ctrl+S</translation>
    </message>
    <message>
        <source>Stop current playing</source>
        <translation>Beendet die Wiedergabe</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stoppen</translation>
    </message>
    <message>
        <source>&amp;Get Audio CD Info ...	Ctrl+I</source>
        <translation>CD-&amp;Informationen abrufen ...	Ctrl+I</translation>
    </message>
    <message>
        <source>Get Audio CD info from </source>
        <translation>Ruft die Audio-CD-Informationen ab von </translation>
    </message>
    <message>
        <source>Audio CD Info ...</source>
        <translation>Audio-CD-Informationen ...</translation>
    </message>
    <message>
        <source>Re&amp;fresh</source>
        <translation>Aktua&amp;lisieren</translation>
    </message>
    <message>
        <source>Refresh CDROM</source>
        <translation>Liest das CD-ROM-Laufwerk neu ein</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Se&amp;ttings</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>Show program settings</source>
        <translation>Zeigt die Programmeinstellungen</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>E&amp;xit	Ctrl+X</source>
        <translation>Been&amp;den	Ctrl+X</translation>
    </message>
    <message>
        <source>Quit Korvi CD Ripping</source>
        <translation>Beendet Korvi CD Ripper</translation>
    </message>
    <message>
        <source>&amp;Tool Bar</source>
        <translation>&amp;Werkzeugleiste</translation>
    </message>
    <message>
        <source>Show or hide the toolbar</source>
        <translation>Blendet die Werkzeugleiste ein oder aus</translation>
    </message>
    <message>
        <source>Toggle ToolBar</source>
        <translation>Werkzeugleiste ein/aus</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>&amp;Statusleiste</translation>
    </message>
    <message>
        <source>Show or hide the status bar</source>
        <translation>Blendet die Statusleiste ein oder aus</translation>
    </message>
    <message>
        <source>Toggle StatusBar</source>
        <translation>Statusleiste ein/aus</translation>
    </message>
    <message>
        <source>&amp;Help	F1</source>
        <translation>&amp;Hilfe	F1</translation>
    </message>
    <message>
        <source>Show help topic</source>
        <translation>Zeigt die Hilfe</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>&amp;About ...</source>
        <translation>Ü&amp;ber ...</translation>
    </message>
    <message>
        <source>Display program information, version number and copyright</source>
        <translation>Zeigt Programminformationen, Versionsnummer und Copyright</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
</context>
<context>
    <name>Formats</name>
    <message>
        <source>Fast</source>
        <translation>Schnell</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Extra High</source>
        <translation>Sehr hoch</translation>
    </message>
    <message>
        <source>Insane</source>
        <translation>Extrem</translation>
    </message>
    <message>
        <source>BPS:</source>
        <translation>Bitrate:</translation>
    </message>
    <message>
        <source>%1 BPS</source>
        <translation>%1 Bit/s</translation>
    </message>
    <message>
        <source>&amp;Save MP3 ID3Tag</source>
        <translation>MP3-ID3-Tag &amp;speichern</translation>
    </message>
    <message>
        <source>Compression Level:</source>
        <translation>Kompressionsstufe:</translation>
    </message>
    <message>
        <source>Compression level:</source>
        <translation>Kompressionsstufe:</translation>
    </message>
    <message>
        <source>0 encodes fastest, 8 makes the smallest files; all are lossless</source>
        <translation>0 kodiert am schnellsten, 8 erzeugt die kleinsten Dateien; alle sind verlustfrei</translation>
    </message>
    <message>
        <source>Bit rate:</source>
        <translation>Bitrate:</translation>
    </message>
    <message>
        <source>Higher rates sound closer to the disc and make larger files</source>
        <translation>Höhere Raten klingen näher am Original und erzeugen größere Dateien</translation>
    </message>
    <message>
        <source> kbit/s</source>
        <translation> kbit/s</translation>
    </message>
    <message>
        <source>MP3 Settings</source>
        <translation>MP3-Einstellungen</translation>
    </message>
    <message>
        <source>Format Settings:</source>
        <translation>Formateinstellungen:</translation>
    </message>
    <message>
        <source>APE Settings</source>
        <translation>APE-Einstellungen</translation>
    </message>
    <message>
        <source>General:</source>
        <translation>Allgemein:</translation>
    </message>
    <message>
        <source>FLAC</source>
        <translation>FLAC</translation>
    </message>
    <message>
        <source>Opus</source>
        <translation>Opus</translation>
    </message>
</context>
<context>
    <name>korvi::CAboutDlg</name>
    <message>
        <source>Korvi CD Ripper copies the tracks of audio CDs to WAV, MP3 and APE files. It reads the track list from the disc&apos;s table of contents and finds album and track titles in a local library of disc information or on a CDDB server, so the files are named after the music.

It is free software, built on Qt for the window, libcdio for reading discs and LAME for MP3 encoding, with lossless APE compression for archives. It comes with no warranty.</source>
        <translation>Korvi CD Ripper kopiert die Titel von Audio-CDs in WAV-, MP3- und APE-Dateien. Es liest die Titelliste aus dem Inhaltsverzeichnis der CD und findet Album- und Titelnamen in einer lokalen Bibliothek von CD-Informationen oder auf einem CDDB-Server, sodass die Dateien nach der Musik benannt werden.

Es ist freie Software, gebaut mit Qt für das Fenster, libcdio zum Lesen der CDs und LAME für die MP3-Kodierung, mit verlustfreier APE-Kompression für Archive. Es wird ohne jede Gewährleistung geliefert.</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>CD Ripper Information:</source>
        <translation>Informationen zum CD Ripper:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>korvi::CChildView</name>
    <message>
        <source>Track name</source>
        <translation>Titelname</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Begin sectors</source>
        <translation>Startsektor</translation>
    </message>
    <message>
        <source>End sectors</source>
        <translation>Endsektor</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>korvi::CChooseReleaseDlg</name>
    <message>
        <source>Choose the Disc</source>
        <translation>CD auswählen</translation>
    </message>
    <message>
        <source>%1 knows more than one disc that matches this one. Which is it?</source>
        <translation>%1 kennt mehr als eine CD, die zu dieser passt. Welche ist es?</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Country</source>
        <translation>Land</translation>
    </message>
    <message>
        <source>Label</source>
        <translation>Label</translation>
    </message>
    <message>
        <source>Catalog No.</source>
        <translation>Katalognr.</translation>
    </message>
    <message>
        <source>Barcode</source>
        <translation>Barcode</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Disc</source>
        <translation>CD</translation>
    </message>
    <message>
        <source>Tracks</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>Category</source>
        <translation>Kategorie</translation>
    </message>
</context>
<context>
    <name>korvi::CDriveControlPanel</name>
    <message>
        <source>CDROM:</source>
        <translation>CD-ROM:</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>No disc-info!</source>
        <translation>Keine CD-Informationen!</translation>
    </message>
    <message>
        <source>No CD-ROM drive found.</source>
        <translation>Kein CD-ROM-Laufwerk gefunden.</translation>
    </message>
    <message>
        <source>The drive&apos;s tray is open.</source>
        <translation>Die Schublade des Laufwerks ist offen.</translation>
    </message>
    <message>
        <source>There is no disc in the drive.</source>
        <translation>Im Laufwerk liegt keine CD.</translation>
    </message>
</context>
<context>
    <name>korvi::CMainFrame</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Disc playing, please stop before ripping!
</source>
        <translation>Die CD wird abgespielt. Bitte stoppen Sie die Wiedergabe vor dem Rippen!
</translation>
    </message>
    <message>
        <source>Please stop playing before exit this application!</source>
        <translation>Bitte stoppen Sie die Wiedergabe, bevor Sie das Programm beenden!</translation>
    </message>
    <message>
        <source>Please stop ripping before exit this application!</source>
        <translation>Bitte brechen Sie das Rippen ab, bevor Sie das Programm beenden!</translation>
    </message>
</context>
<context>
    <name>korvi::CProgressDlg</name>
    <message>
        <source>Time: %1:%2:%3</source>
        <translation>Zeit: %1:%2:%3</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>Bestätigung</translation>
    </message>
    <message>
        <source>Stop ripping?</source>
        <translation>Rippen abbrechen?</translation>
    </message>
    <message>
        <source>Please wait ...</source>
        <translation>Bitte warten ...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Total Progress:</source>
        <translation>Gesamtfortschritt:</translation>
    </message>
    <message>
        <source>Time:</source>
        <translation>Zeit:</translation>
    </message>
    <message>
        <source>Single Track Progress:</source>
        <translation>Fortschritt des Titels:</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
</context>
<context>
    <name>korvi::CPromptOverwriteDlg</name>
    <message>
        <source>Confirmation</source>
        <translation>Bestätigung</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>Y&amp;es to All</source>
        <translation>Ja, &amp;alle</translation>
    </message>
    <message>
        <source>N&amp;o to All</source>
        <translation>N&amp;ein, keine</translation>
    </message>
    <message>
        <source>File %1 already exists, overwrite?</source>
        <translation>Die Datei %1 existiert bereits. Überschreiben?</translation>
    </message>
</context>
<context>
    <name>korvi::CSelectFormatDlg</name>
    <message>
        <source>Select output format</source>
        <translation>Ausgabeformat wählen</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>korvi::CSetsPageGeneral</name>
    <message>
        <source>Always show directory selector before ripping</source>
        <translation>Vor dem Rippen immer nach dem Ordner fragen</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Ordner:</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>Save disc-info to libaray automatically</source>
        <translation>CD-Informationen automatisch in der Bibliothek speichern</translation>
    </message>
    <message>
        <source>Get play CD information from %1 automatically</source>
        <translation>CD-Informationen automatisch von %1 abrufen</translation>
    </message>
    <message>
        <source>Move &amp;up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>File overwrite prompt</source>
        <translation>Vor dem Überschreiben von Dateien fragen</translation>
    </message>
    <message>
        <source>Test and copy</source>
        <translation>Testen und kopieren</translation>
    </message>
    <message>
        <source>Eject the disc when a rip is done</source>
        <translation>Die CD nach dem Auslesen auswerfen</translation>
    </message>
    <message>
        <source>Maximum</source>
        <translation>Höchste</translation>
    </message>
    <message>
        <source>Read speed:</source>
        <translation>Lesegeschwindigkeit:</translation>
    </message>
    <message>
        <source>Verify rips with AccurateRip</source>
        <translation>Rips mit AccurateRip prüfen</translation>
    </message>
    <message>
        <source>Write a rip log</source>
        <translation>Rip-Protokoll schreiben</translation>
    </message>
    <message>
        <source>Write a cue sheet</source>
        <translation>Cue-Sheet schreiben</translation>
    </message>
    <message>
        <source>Write full tags (ID3v2, APEv2, Vorbis comments)</source>
        <translation>Vollständige Tags schreiben (ID3v2, APEv2, Vorbis-Kommentare)</translation>
    </message>
    <message>
        <source>One per core (%1)</source>
        <translation>Einer pro Kern (%1)</translation>
    </message>
    <message>
        <source>Secure</source>
        <translation>Sicher</translation>
    </message>
    <message>
        <source>Burst</source>
        <translation>Burst</translation>
    </message>
    <message>
        <source>E-mail for the CDDB server:</source>
        <translation>E-Mail-Adresse für den CDDB-Server:</translation>
    </message>
    <message>
        <source>Tracks encoded at once:</source>
        <translation>Gleichzeitig kodierte Titel:</translation>
    </message>
    <message>
        <source>Read mode:</source>
        <translation>Lesemodus:</translation>
    </message>
    <message>
        <source>Drive read offset (samples):</source>
        <translation>Leseversatz des Laufwerks (Samples):</translation>
    </message>
    <message>
        <source>Default Output Directory:</source>
        <translation>Standard-Ausgabeordner:</translation>
    </message>
    <message>
        <source>Library:</source>
        <translation>Bibliothek:</translation>
    </message>
    <message>
        <source>Default library file save to folder:</source>
        <translation>Bibliotheksdateien speichern in Ordner:</translation>
    </message>
    <message>
        <source>Verification and reports:</source>
        <translation>Prüfung und Berichte:</translation>
    </message>
    <message>
        <source>Look up titles in:</source>
        <translation>Titel suchen in:</translation>
    </message>
    <message>
        <source>Choose a folder</source>
        <translation>Ordner wählen</translation>
    </message>
    <message>
        <source>Select a folder for library</source>
        <translation>Ordner für die Bibliothek wählen</translation>
    </message>
</context>
<context>
    <name>korvi::CSettingsSheet</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>korvi::CTrackEditDlg</name>
    <message>
        <source>Edit track</source>
        <translation>Titel bearbeiten</translation>
    </message>
    <message>
        <source>Track info:</source>
        <translation>Titelinformationen:</translation>
    </message>
    <message>
        <source>Title:</source>
        <translation>Titel:</translation>
    </message>
    <message>
        <source>Artist:</source>
        <translation>Interpret:</translation>
    </message>
    <message>
        <source>Album:</source>
        <translation>Album:</translation>
    </message>
    <message>
        <source>Year:</source>
        <translation>Jahr:</translation>
    </message>
    <message>
        <source>Comment:</source>
        <translation>Kommentar:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Please enter an integer.</source>
        <translation>Bitte geben Sie eine ganze Zahl ein.</translation>
    </message>
</context>
<context>
    <name>korvi::LookupController</name>
    <message>
        <source>No titles found</source>
        <translation>Keine Titelinformationen gefunden</translation>
    </message>
    <message>
        <source>Titles found</source>
        <translation>Titelinformationen gefunden</translation>
    </message>
    <message>
        <source>%1 releases match the disc: choose one in the window.</source>
        <translation>%1 Veröffentlichungen passen zur CD: Wählen Sie eine im Fenster aus.</translation>
    </message>
    <message>
        <source>Failed to Get disc-info!</source>
        <translation>CD-Informationen konnten nicht abgerufen werden!</translation>
    </message>
    <message>
        <source>No disc-info: %1</source>
        <translation>Keine CD-Informationen: %1</translation>
    </message>
    <message>
        <source>Album title: %1, Album artist: %2</source>
        <translation>Albumtitel: %1, Albuminterpret: %2</translation>
    </message>
</context>
<context>
    <name>korvi::Prompts</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>korvi::RipController</name>
    <message>
        <source>No track selected, please select one or more tracks before continue!</source>
        <translation>Kein Titel ausgewählt. Bitte wählen Sie einen oder mehrere Titel aus, bevor Sie fortfahren!</translation>
    </message>
    <message>
        <source>Please choose a folder for output file(s):</source>
        <translation>Bitte wählen Sie einen Ordner für die Ausgabedateien:</translation>
    </message>
    <message>
        <source>No output folder is set: choose one in Settings.</source>
        <translation>Es ist kein Ausgabeordner festgelegt: Wählen Sie einen in den Einstellungen.</translation>
    </message>
    <message>
        <source>The rip could not be started: %1</source>
        <translation>Das Rippen konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>The rip ended early: %1.</source>
        <translation>Das Rippen endete vorzeitig: %1.</translation>
    </message>
    <message>
        <source>These files could not be written completely:
</source>
        <translation>Diese Dateien konnten nicht vollständig geschrieben werden:
</translation>
    </message>
    <message>
        <source>Rip stopped</source>
        <translation>Rippen abgebrochen</translation>
    </message>
    <message>
        <source>The rip to %1 was stopped.</source>
        <translation>Das Rippen nach %1 wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Rip finished with errors</source>
        <translation>Rippen mit Fehlern beendet</translation>
    </message>
    <message>
        <source>%1 of %2 files could not be written completely.</source>
        <translation>%1 von %2 Dateien konnten nicht vollständig geschrieben werden.</translation>
    </message>
    <message>
        <source>Rip finished</source>
        <translation>Rippen beendet</translation>
    </message>
    <message>
        <source>1 track ripped to %1</source>
        <translation>1 Titel nach %1 gerippt</translation>
    </message>
    <message>
        <source>%1 tracks ripped to %2</source>
        <translation>%1 Titel nach %2 gerippt</translation>
    </message>
    <message>
        <source>

The rip log is in %1</source>
        <translation>

Das Rip-Protokoll liegt in %1</translation>
    </message>
</context>
<context>
    <name>korvi::TrackListRows</name>
    <message>
        <source>Hidden track</source>
        <translation>Versteckter Titel</translation>
    </message>
</context>
</TS>
