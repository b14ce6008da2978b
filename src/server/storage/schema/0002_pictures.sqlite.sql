-- SQLite part of the second migration: nothing beyond the common part. The migrator runs one file per
-- dialect and an empty script is refused by the PostgreSQL driver, so both hold a statement that does nothing.
SELECT 1;
