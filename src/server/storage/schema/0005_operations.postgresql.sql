-- PostgreSQL part of the fifth migration: nothing beyond the common part (the entry list is read through
-- the indexes of the first). The migrator runs one file per dialect and an empty script is refused, so this
-- holds a statement that does nothing.
SELECT 1;
