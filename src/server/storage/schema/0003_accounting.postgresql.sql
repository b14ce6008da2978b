-- The third migration needs nothing of its own in this dialect. The migrator runs one file per dialect and an
-- empty script is refused by the PostgreSQL driver, so this holds a statement that does nothing.
SELECT 1;
