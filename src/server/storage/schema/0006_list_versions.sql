-- The version of each account's entry list: raised by the triggers of each dialect's part whenever a row
-- of the account's movements, credits or debits is inserted, changed or deleted, whoever writes it, in the
-- writer's transaction. A form holding a list asks for the version alone to learn whether anything of it
-- changed since it was loaded. An account without a row is at version 0.
CREATE TABLE VERSAOLISTA (
    CDREDUCONT   VARCHAR(3) NOT NULL PRIMARY KEY,
    NRVERSAO     BIGINT     NOT NULL CHECK (NRVERSAO >= 0),
    NRTRANSACAO  BIGINT     -- PostgreSQL: the transaction that raised it last, which raises it only once
) /*SQLITE WITHOUT ROWID*/;
