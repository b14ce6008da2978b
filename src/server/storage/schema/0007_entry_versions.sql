-- The version of each entry: NRVERSAO of its bank movement, raised by the triggers of each dialect's part
-- whenever the entry is written after it was inserted: the movement itself (any UPDATE, its reconciliation
-- included), its credit or debit record (UPDATE, DELETE) and a cheque that pays its debit (INSERT, UPDATE,
-- DELETE; the debit the cheque paid before and the one it pays after), whoever writes, in the writer's
-- transaction. The insertion of a record needs no raise: it happens in the movement's own transaction,
-- before anyone could have listed the entry. A form sends back the version it listed with a change, a
-- deletion or a cheque, and the server refuses the call when the entry's version is no longer that one.
ALTER TABLE MOVBANCARIO ADD COLUMN NRVERSAO BIGINT NOT NULL DEFAULT 1;
