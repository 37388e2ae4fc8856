<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AppState</name>
    <message>
        <source>Another device changed a note you edited here; your edit was kept in the note&apos;s history.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another device changed %1 notes you edited here; your edits were kept in their history.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline: your changes are saved here and will sync when the network is back.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trip Packing List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Essentials</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passport and ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone charger and power bank</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Travel insurance documents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Headphones</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clothing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comfortable walking shoes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rain jacket</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A warm layer for the evenings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toiletries</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toothbrush and toothpaste</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sunscreen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Daily medication</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every check-list item in your notes also appears in the To-Dos view, so nothing on this list gets forgotten.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting Started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Norvane Notes is made to stay out of your way. Here is what it can do.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Just Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start writing and your note is saved about a second after you pause. There is no save button and nothing to name first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Instant Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every word you write is indexed. Type a few letters into the search box and the matching notes appear as you type.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rich Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Make text </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bold</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> or </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>italic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, add headings, bullet and check lists, quotes, code blocks, links and tables from the toolbar or with keyboard shortcuts.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group related notes into notebooks from the sidebar. Drag a note onto a notebook to move it there.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop images and files into a note. They are kept with the note and go wherever it goes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline First</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Everything is stored on this computer, so your notes are there with or without a connection.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync Across Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to keep your notes in step on all your devices and to share them with your family group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save any note as Markdown, HTML, plain text or PDF, print it, or copy it to paste somewhere else.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete these welcome notes whenever you like, or keep them as a reference.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome to Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Capture a thought the moment it arrives: start typing and it is saved. No titles to invent, no folders to choose first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finding it again is just as quick. Search looks through every word of every note, so a few letters are usually all it takes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try it now:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> type </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>welcome</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> into the search box above the note list.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Happy writing!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>Database Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to initialize the database.

Data directory: %1

Please check file permissions and try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AttachmentRenderer</name>
    <message>
        <source>Attachment</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>BackupArchive</name>
    <message>
        <source>Failed to extract backup: not a backup archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup: too large (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup: damaged archive (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup: damaged at entry %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to create ZIP: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no library to back up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to create temp directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No manifest.json found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to save restored items: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorToolbar</name>
    <message>
        <source>Bold (Ctrl+B)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Italic (Ctrl+I)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Underline (Ctrl+U)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Strikethrough (Ctrl+Shift+X)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Inline Code (Ctrl+`)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading Level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Normal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Heading %1</source>
        <translation type="unfinished">Überschrift %1</translation>
    </message>
    <message>
        <source>Bullet List (Ctrl+Shift+8)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Numbered List (Ctrl+Shift+7)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checkbox List (Ctrl+Shift+9)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Code Block (Ctrl+Shift+`)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Blockquote (Ctrl+Shift+B)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Left (Ctrl+Shift+L)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Center (Ctrl+Shift+E)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Right (Ctrl+Shift+R)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Link (Ctrl+K)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Divider</source>
        <translation type="unfinished">Trennlinie einfügen</translation>
    </message>
    <message>
        <source>Insert Table (Ctrl+T)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Attachment (Ctrl+Shift+A)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nested tables are not supported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachments cannot go inside a table</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Export</name>
    <message>
        <source>Failed to write file: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportDialog</name>
    <message>
        <source>Export Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Markdown (.md)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTML (.html)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PDF (.pdf)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include attachments (ZIP bundle)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FindBar</name>
    <message>
        <source>Find in note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Match case</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished">Schließen</translation>
    </message>
    <message>
        <source>No results</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n match(es)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Aa</source>
        <extracomment>The match-case toggle: an upper- and a lower-case letter.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImageLightbox</name>
    <message>
        <source>Image</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImportDialog</name>
    <message>
        <source>Import Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the format of the file you want to import.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joplin Export (.jex)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Synology NoteStation (.nsx)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the file to import.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No file selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait while your notes are imported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting import...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joplin Export (*.jex);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NoteStation Export (*.nsx);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Import File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported: %1 notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Attachments: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Skipped: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
Errors: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>…and %n more.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>No file was selected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting import of %1...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>JexImporter</name>
    <message>
        <source>Failed to read archive or archive is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading archive...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to read archive: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Item %1 could not be read: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing %1 notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(untitled)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Tags were kept as the last line of the text of %n note(s) (&quot;Tags: ...&quot;)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Failed to save imported notes: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LinkDialog</name>
    <message>
        <source>Insert Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Search...</source>
        <translation>Suchen...</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>New Note</source>
        <translation>Neue Notiz</translation>
    </message>
    <message>
        <source>New Note in Window</source>
        <translation>Neue Notiz in eigenem Fenster</translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation>Schnappschuss speichern</translation>
    </message>
    <message>
        <source>Snapshot saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>Importieren...</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>Exportieren...</translation>
    </message>
    <message>
        <source>Print...</source>
        <translation>Drucken...</translation>
    </message>
    <message>
        <source>Print Preview...</source>
        <translation>Druckvorschau...</translation>
    </message>
    <message>
        <source>Backup Database...</source>
        <translation>Datenbank sichern...</translation>
    </message>
    <message>
        <source>Restore Database...</source>
        <translation>Datenbank wiederherstellen...</translation>
    </message>
    <message>
        <source>Sign In…</source>
        <translation>Anmelden…</translation>
    </message>
    <message>
        <source>&amp;Manage Account…</source>
        <translation>Konto &amp;verwalten…</translation>
    </message>
    <message>
        <source>Sign &amp;Out</source>
        <translation>&amp;Abmelden</translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Find in Note...</source>
        <translation>In Notiz suchen...</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Find Previous</source>
        <translation>Rückwärts suchen</translation>
    </message>
    <message>
        <source>&amp;Note</source>
        <translation>&amp;Notiz</translation>
    </message>
    <message>
        <source>Move to Notebook...</source>
        <translation>In Notizbuch verschieben...</translation>
    </message>
    <message>
        <source>Version History...</source>
        <translation>Versionsverlauf...</translation>
    </message>
    <message>
        <source>Open in New Window</source>
        <translation>In neuem Fenster öffnen</translation>
    </message>
    <message>
        <source>Move to Trash…</source>
        <translation>In den Papierkorb verschieben…</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>To-Dos</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Search All Notes...</source>
        <translation>Alle Notizen durchsuchen...</translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papierkorb</translation>
    </message>
    <message>
        <source>Shared with Me</source>
        <translation>Mit mir geteilt</translation>
    </message>
    <message>
        <source>Shared by Me</source>
        <translation>Von mir geteilt</translation>
    </message>
    <message>
        <source>Focus Mode</source>
        <translation>Fokusmodus</translation>
    </message>
    <message>
        <source>Hide the notebook and note lists to write without distractions</source>
        <translation>Notizbücher und Notizliste ausblenden, um ohne Ablenkung zu schreiben</translation>
    </message>
    <message>
        <source>Show Notebook Sidebar</source>
        <translation>Notizbuch-Seitenleiste anzeigen</translation>
    </message>
    <message>
        <source>Sync Now</source>
        <translation>Jetzt synchronisieren</translation>
    </message>
    <message>
        <source>Force Full Resync…</source>
        <translation>Vollständige Neusynchronisierung erzwingen…</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>About Norvane Notes</source>
        <translation>Über Norvane Notes</translation>
    </message>
    <message>
        <source>What&apos;s &amp;New...</source>
        <translation>&amp;Neuigkeiten...</translation>
    </message>
    <message>
        <source>Check for &amp;Updates...</source>
        <translation>Nach &amp;Updates suchen...</translation>
    </message>
    <message>
        <source>Send &amp;Feedback...</source>
        <translation>&amp;Feedback senden...</translation>
    </message>
    <message>
        <source>Load &amp;Sample Notes</source>
        <translation>&amp;Beispielnotizen laden</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Über Qt</translation>
    </message>
    <message>
        <source>No notes match</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Notes</source>
        <translation>Alle Notizen</translation>
    </message>
    <message>
        <source>New Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Notebook</source>
        <translation>Notizbuch löschen</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot;? Its notes will move to All Notes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Notebook…</source>
        <translation>Notizbuch umbenennen…</translation>
    </message>
    <message>
        <source>Share Notebook…</source>
        <translation>Notizbuch teilen…</translation>
    </message>
    <message>
        <source>Save Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ZIP Archive (*.zip)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backup Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Backup saved: %n note(s)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Select Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import notes from backup? Existing notes with the same ID will be skipped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported: %1
Skipped: %2
Errors: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore this backup to your account? Everything in the backup is brought back and synced to all your devices — including notes you deleted or changed after the backup was made.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Syncing before restore…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring notes…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored %1 items and synced them to your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Aborted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn&apos;t sync before restoring, so nothing was changed:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored %1 items. They&apos;ll finish uploading to your account automatically once syncing succeeds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign-in did not complete: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No keyring is available: you stay signed in only until you quit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Norvane Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This library last synced with a different account than the one you signed in with.

Upload its notes to this account? Choose No to keep them apart: the library is first saved as a backup in the data folder, then emptied and filled from this account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The library could not be saved as a backup, so it was left as it is and nothing is synced. Sign out, or sign in again to choose anew.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your previous library was saved as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force Full Resync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Re-upload every local note and notebook to the server, and re-download everything the server has?

This is safe — no data is lost — but it can take a while if you have a lot of notes or attachments. Use this only if your local copy and the server seem out of sync.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Marked %n note(s) for re-sync.</source>
        <translation>
            <numerusform>%n Notiz zum erneuten Synchronisieren markiert.</numerusform>
            <numerusform>%n Notizen zum erneuten Synchronisieren markiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Move to Notebook</source>
        <translation>In Notizbuch verschieben</translation>
    </message>
    <message>
        <source>Manage Sharing…</source>
        <translation>Freigabe verwalten…</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>Teilen…</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>To-Dos — Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search — Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Trash — Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared by Me — Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with Me — Norvane Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load Sample Notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert 7 sample notes into this database?

They&apos;ll appear in the unorganized pool with staggered dates from today to 28 days ago. Existing notes are not modified.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Loaded %n sample note(s).</source>
        <translation>
            <numerusform>%n Beispielnotiz geladen.</numerusform>
            <numerusform>%n Beispielnotizen geladen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Norvane Notes %1

Search-first, zero-friction note-taking.

%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Norvane Notes</source>
        <translation>Norvane Notes anzeigen</translation>
    </message>
    <message>
        <source>Search…</source>
        <translation>Suchen…</translation>
    </message>
    <message>
        <source>Hide Norvane Notes</source>
        <translation>Norvane Notes ausblenden</translation>
    </message>
</context>
<context>
    <name>MoveToNotebookDialog</name>
    <message>
        <source>Move to Notebook</source>
        <translation type="unfinished">In Notizbuch verschieben</translation>
    </message>
    <message>
        <source>Select a notebook:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (current)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NorvAccount::AccountScreen</name>
    <message>
        <source>Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data &amp; Privacy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Personal Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(not set)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Display Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change your account password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Danger Zone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permanently delete your account. This cannot be undone after 30 days.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are the group owner. Transfer ownership or remove all members before deleting your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active now</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%nm ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%nh ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%nd ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>No Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You&apos;re not part of a group. The group owner can invite you, or you can join with an invite code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Join with Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 seats used</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Members</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Owner</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pending Invitations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite code: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Revoke</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invitation revoked.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not revoke the invitation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite Members</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite by Email</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generate Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Registered Devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices that have synced with your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No devices registered.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active Sessions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sessions currently signed in to your account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No active sessions.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown client</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This session</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Session revoked.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to update profile.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display name updated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New password (min 8 characters):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password must be at least 8 characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm new password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passwords do not match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to change password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Join Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter invite code:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid or expired invite code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Joined group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Email address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to send invitation.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invitation sent.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to generate code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invite Code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this code with the person you want to invite:

%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Leave this group? You will lose access to shared data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Left group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not leave the group.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Member</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1 from the group?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This will schedule your account for permanent deletion after 30 days.

Type DELETE to confirm:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to delete account.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account Scheduled for Deletion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your account will be permanently deleted in 30 days. You can recover it by signing in before then.

You are now signed out of this computer. Your notes stay here on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NorvAccount::ShareMembersDialog</name>
    <message>
        <source>Can edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>People with access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add people</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>They can:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What the people you add may do: change the text, or only read it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You&apos;re not in a group yet. Invite people from Manage Account to share with them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All group members already have access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished">Schließen</translation>
    </message>
    <message>
        <source>Not shared with anyone yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Permission of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not share with %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not change what %1 may do.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 will no longer have access. Continue?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NorvUpdate::UpdateDialog</name>
    <message>
        <source>Update available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A new version of %1 is available.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You have version %1. The latest version is %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading release notes…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>*Release notes are not available for this version.*</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NorvUpdate::WhatsNewDialog</name>
    <message>
        <source>What&apos;s New in %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What&apos;s new in %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You are running version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteActions</name>
    <message>
        <source>Untitled</source>
        <translation type="unfinished">Ohne Titel</translation>
    </message>
    <message>
        <source>Failed to write file: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not save this note (the database is locked or read-only). Your text is kept here and saving is retried.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Unsaved Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text typed into &quot;%1&quot; on %2 could not be saved at the time. Restore it now?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished">In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Move &quot;%1&quot; to Trash?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No note selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Printed %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print Preview — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>F&amp;ormat</source>
        <translation>F&amp;ormat</translation>
    </message>
    <message>
        <source>Bold</source>
        <translation>Fett</translation>
    </message>
    <message>
        <source>Italic</source>
        <translation>Kursiv</translation>
    </message>
    <message>
        <source>Underline</source>
        <translation>Unterstrichen</translation>
    </message>
    <message>
        <source>Strikethrough</source>
        <translation>Durchgestrichen</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Heading %1</source>
        <translation>Überschrift %1</translation>
    </message>
    <message>
        <source>Normal Text</source>
        <translation>Normaler Text</translation>
    </message>
    <message>
        <source>Bullet List</source>
        <translation>Aufzählung</translation>
    </message>
    <message>
        <source>Numbered List</source>
        <translation>Nummerierte Liste</translation>
    </message>
    <message>
        <source>Checkbox List</source>
        <translation>Checkliste</translation>
    </message>
    <message>
        <source>Code Block</source>
        <translation>Codeblock</translation>
    </message>
    <message>
        <source>Blockquote</source>
        <translation>Zitat</translation>
    </message>
    <message>
        <source>Align Left</source>
        <translation>Linksbündig</translation>
    </message>
    <message>
        <source>Align Center</source>
        <translation>Zentriert</translation>
    </message>
    <message>
        <source>Align Right</source>
        <translation>Rechtsbündig</translation>
    </message>
    <message>
        <source>Insert Link...</source>
        <translation>Link einfügen...</translation>
    </message>
    <message>
        <source>Insert Divider</source>
        <translation>Trennlinie einfügen</translation>
    </message>
    <message>
        <source>Insert Table...</source>
        <translation>Tabelle einfügen...</translation>
    </message>
    <message>
        <source>Updated %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Shared with</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not shared with anyone yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove access</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished">Schließen</translation>
    </message>
    <message>
        <source>Remove Share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sharing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this note with members of your Norvane family group. They&apos;ll see the latest version synced to their devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1&apos;s access to this note?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share this notebook with members of your Norvane family group. They&apos;ll see every note inside it on their devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove %1&apos;s access to this notebook?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteEditor</name>
    <message>
        <source>Table (too large to show)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2)
(Double-click to open, right-click for more)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1
(Ctrl+click to open)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save As…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Link Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Link…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Row Above</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Row Below</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Column Before</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Column After</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Column</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This link is opened by another program:

%1

Open it?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Attachment</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a note or press Ctrl+N to create one</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start typing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteHeaderBar</name>
    <message>
        <source>Toggle sidebars (Ctrl+\)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unorganized</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open this notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as Plain Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as Markdown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy as HTML</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Share note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version history</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include in To-Dos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Print…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished">In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Manage sharing</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteListDelegate</name>
    <message>
        <source>Untitled</source>
        <translation type="unfinished">Ohne Titel</translation>
    </message>
</context>
<context>
    <name>NoteListModel</name>
    <message>
        <source>Untitled</source>
        <translation type="unfinished">Ohne Titel</translation>
    </message>
</context>
<context>
    <name>NoteSharingService</name>
    <message>
        <source>Share failed (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NoteWindow</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation>Schnappschuss speichern</translation>
    </message>
    <message>
        <source>Snapshot saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>Exportieren...</translation>
    </message>
    <message>
        <source>Print...</source>
        <translation>Drucken...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Find in Note...</source>
        <translation>In Notiz suchen...</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Find Previous</source>
        <translation>Rückwärts suchen</translation>
    </message>
    <message>
        <source>&amp;Note</source>
        <translation>&amp;Notiz</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>About Norvane Notes</source>
        <translation>Über Norvane Notes</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Norvane Notes %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>Ohne Titel</translation>
    </message>
    <message>
        <source>No notebook</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookDialog</name>
    <message>
        <source>Notebook name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NotebookListWidget</name>
    <message>
        <source>All Notes</source>
        <translation type="unfinished">Alle Notizen</translation>
    </message>
    <message>
        <source>Trash</source>
        <translation type="unfinished">Papierkorb</translation>
    </message>
    <message>
        <source>New Notebook…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>NsxImporter</name>
    <message>
        <source>No config.json found in archive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extracting archive...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to create temp directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to extract archive: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Archive entry left out: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 could not be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebook &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing %1 notes...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Importing: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(untitled)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; could not be saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to save imported notes: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Another device changed this note while you typed; your typing was kept in the note&apos;s history.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RelativeDate</name>
    <message>
        <source>just now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1h ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yesterday</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SearchScreen</name>
    <message>
        <source>No notes match</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Appearance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose how Norvane Notes looks. System follows your desktop&apos;s light or dark mode automatically.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Theme</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Light</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Steno mode flips the note list so the oldest note is at the top and the search bar moves to the bottom — a steno-pad feel for rapid capture.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Layout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable Steno mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Norvane Notes running in the background for instant capture without a cold start.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close to tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>When enabled, closing the window hides it to the system tray instead of quitting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start minimized to tray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch Norvane Notes directly to the tray — useful for autostart at login.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current sync state and a quick manual trigger.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatic Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Push local changes and pull updates from the server in the background.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable automatic sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Toast messages about sync state.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show a banner when offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your Norvane account unlocks cloud sync and sharing across devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Norvane Account</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in as</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manage Account…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In…</source>
        <translation type="unfinished">Anmelden…</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Push pending changes and pull the latest from the server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed in</source>
        <translation type="unfinished">Nicht angemeldet</translation>
    </message>
    <message>
        <source>Sign in to your Norvane account to sync.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Owner of the group &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Member of the group &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not in a group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Small</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Medium</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra Large</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusBar</name>
    <message>
        <source>All Notes</source>
        <translation>Alle Notizen</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <translation>Nicht angemeldet</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n note(s))</source>
        <translation>
            <numerusform>%1 (%n Notiz)</numerusform>
            <numerusform>%1 (%n Notizen)</numerusform>
        </translation>
    </message>
    <message>
        <source>Words: %1</source>
        <translation>Wörter: %1</translation>
    </message>
    <message>
        <source>Saving...</source>
        <translation>Wird gespeichert...</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Gespeichert</translation>
    </message>
</context>
<context>
    <name>SyncEngine</name>
    <message>
        <source>Synced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsynced changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Syncing...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A notebook deletion waits to reach the server (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notebook &quot;%1&quot; waits to upload (HTTP %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note &quot;%1&quot; is too large for the server and stays on this device only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploading attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; is too large for the server and stays on this device only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; waits for its note to upload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; waits to upload (HTTP %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading notes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading notebooks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachments could not be checked (HTTP %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloading attachments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attachment &quot;%1&quot; waits to download (HTTP %2)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TableDialog</name>
    <message>
        <source>Include header row</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Insert Table</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rows:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Columns:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrashScreen</name>
    <message numerus="yes">
        <source>Permanently delete all %n note(s) in trash? This cannot be undone.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>UpdateFlows</name>
    <message>
        <source>No release notes available for %1 %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is up to date (version %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update check failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading release notes…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VersionHistoryDialog</name>
    <message>
        <source>Version History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Snapshot Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit kept from this device — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>v%1 — %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Goes back to %1. Recent versions are all kept, older ones fewer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshots yet. Press Ctrl+S to save one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace current content with this snapshot? A snapshot of the current content will be saved first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot restored successfully.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
