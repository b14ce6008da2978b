-- PostgreSQL part of the fifth migration.

-- One row per writing call and account it wrote (CDREDUCONT null when the call named none): who, when, which
-- method, and the numbers of the records it wrote, as the handler reported them.
CREATE TABLE AUDITORIA (
    NRAUDITORIA  BIGINT       GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    DTHRCHAMADA  BIGINT       NOT NULL,
    CDOPERADOR   VARCHAR(10)  NOT NULL,
    NMMETODO     VARCHAR(60)  NOT NULL,
    CDREDUCONT   VARCHAR(3),
    DSNUMEROS    TEXT
);
CREATE INDEX AUDITORIA_CONTA ON AUDITORIA (CDREDUCONT, DTHRCHAMADA);
