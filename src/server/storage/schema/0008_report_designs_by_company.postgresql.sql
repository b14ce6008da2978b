-- Nothing beyond the common part; the migrator runs one file per dialect and an empty script is refused by
-- the PostgreSQL driver, so both hold a statement that does nothing.
SELECT 1;
