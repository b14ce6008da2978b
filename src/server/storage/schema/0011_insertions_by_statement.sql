-- What a statement that inserts many movements or records raises (the accounts' list versions, the sums
-- of days and months) is raised once per account, day and month it touches, not once per row. Only
-- PostgreSQL changes: SQLite has no triggers per statement, and it writes a row in place where PostgreSQL
-- writes a new version of it for every change.
SELECT 1;
