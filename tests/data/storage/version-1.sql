-- A database as the first release left it (schema version 1): notes.notebook_id still references
-- notebooks(id), and a legacy default notebook holds two notes. Statements are apart by blank lines.
CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0);

INSERT INTO schema_version (version) VALUES (1);

CREATE TABLE notebooks (
  id TEXT PRIMARY KEY, name TEXT NOT NULL, is_default INTEGER NOT NULL DEFAULT 0,
  is_shared INTEGER NOT NULL DEFAULT 0, owner_id TEXT, created_at TEXT NOT NULL, updated_at TEXT NOT NULL,
  deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1, sync_status TEXT NOT NULL DEFAULT 'pending');

CREATE TABLE notes (
  id TEXT PRIMARY KEY, notebook_id TEXT NOT NULL DEFAULT '' REFERENCES notebooks(id),
  body TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL, updated_at TEXT NOT NULL,
  modified_at TEXT NOT NULL, deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1,
  op_version INTEGER NOT NULL DEFAULT 0, sync_status TEXT NOT NULL DEFAULT 'pending',
  is_sample INTEGER NOT NULL DEFAULT 0, owner_id TEXT, is_shared INTEGER NOT NULL DEFAULT 0,
  permission TEXT);

CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid');

CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN
  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);
END;

CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN
  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);
END;

CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN
  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);
  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);
END;

CREATE TABLE note_snapshots (
  id TEXT PRIMARY KEY, note_id TEXT NOT NULL REFERENCES notes(id),
  version INTEGER NOT NULL, body TEXT NOT NULL, created_at TEXT NOT NULL, UNIQUE(note_id, version));

CREATE TABLE note_task_settings (
  note_id TEXT PRIMARY KEY REFERENCES notes(id), include_in_todos INTEGER NOT NULL DEFAULT 1);

CREATE TABLE preferences (key TEXT PRIMARY KEY, value TEXT);

INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES
  ('nb-default', 'Notes', 1, '2023-01-01T00:00:00.000Z', '2023-01-01T00:00:00.000Z'),
  ('nb-work', 'Work', 0, '2023-01-01T00:00:00.000Z', '2023-01-01T00:00:00.000Z');

INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES
  ('n1', 'nb-default', '[{"insert":"zebra crossing\n"}]', '2023-01-02T00:00:00.000Z',
   '2023-01-02T00:00:00.000Z', '2023-01-02T00:00:00.000Z'),
  ('n2', 'nb-default', '[{"insert":"zebra stripes\n"}]', '2023-01-03T00:00:00.000Z',
   '2023-01-03T00:00:00.000Z', '2023-01-03T00:00:00.000Z'),
  ('n3', 'nb-work', '[{"insert":"zebra report\n"}]', '2023-01-04T00:00:00.000Z',
   '2023-01-04T00:00:00.000Z', '2023-01-04T00:00:00.000Z'),
  ('n4', '', '[{"insert":"giraffe\n"}]', '2023-01-05T00:00:00.000Z',
   '2023-01-05T00:00:00.000Z', '2023-01-05T00:00:00.000Z');

INSERT INTO note_snapshots VALUES ('s1', 'n1', 1, 'old', '2023-01-02T00:00:00.000Z');
