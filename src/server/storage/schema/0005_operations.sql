-- What several servers on one database must share, and what a company needs to trust them: the operators'
-- sessions, the failed logins that slow the next ones down, and the trail of every writing call.
-- Times are milliseconds since 1970-01-01 UTC, as the servers' clocks give them.

-- A session is known by the SHA-256 of its token (lower-case hexadecimal), so that reading this table does
-- not give anyone a token to call with. DTHRVALIDADE is pushed forward as the session is used.
CREATE TABLE SESSAO (
    DSHASHTOKEN  VARCHAR(64) NOT NULL PRIMARY KEY,
    CDOPERADOR   VARCHAR(10) NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    DTHRCRIACAO  BIGINT      NOT NULL,
    DTHRULTUSO   BIGINT      NOT NULL,
    DTHRVALIDADE BIGINT      NOT NULL
) /*SQLITE WITHOUT ROWID*/;
CREATE INDEX SESSAO_VALIDADE ON SESSAO (DTHRVALIDADE);

-- Wrong passwords in a row for an operator code as it was typed (upper case, whether or not such an operator
-- exists, so that the table tells nothing about which do); a right password clears the row.
CREATE TABLE LOGINFALHA (
    CDOPERADOR   VARCHAR(40) NOT NULL PRIMARY KEY,
    NRFALHAS     INTEGER     NOT NULL CHECK (NRFALHAS > 0),
    DTHRULTFALHA BIGINT      NOT NULL
) /*SQLITE WITHOUT ROWID*/;

-- One row per writing call and account it wrote (CDREDUCONT null when the call named none): who, when, which
-- method, and the numbers of the records it wrote, as the handler reported them.
CREATE TABLE AUDITORIA (
    NRAUDITORIA  /*AUTONUMBER*/,
    DTHRCHAMADA  BIGINT       NOT NULL,
    CDOPERADOR   VARCHAR(10)  NOT NULL,
    NMMETODO     VARCHAR(60)  NOT NULL,
    CDREDUCONT   VARCHAR(3),
    DSNUMEROS    TEXT
);
CREATE INDEX AUDITORIA_CONTA ON AUDITORIA (CDREDUCONT, DTHRCHAMADA);
