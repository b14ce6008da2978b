-- How many numbers of each series each operator's clients drew on a day. A number drawn is never given
-- again, so a client drawing without writing would use up a series for good; the server refuses a draw
-- past the day's allowance, whichever server of the database takes it and however often it restarts. A
-- series keeps the rows of its current day only.
CREATE TABLE NUMEROPEDIDO (
    IDTIPONUM    VARCHAR(2)  NOT NULL,
    CDCHAVE      VARCHAR(20) NOT NULL,
    CDOPERADOR   VARCHAR(10) NOT NULL,
    DTDIA        DATE        NOT NULL,
    QTNUMEROS    BIGINT      NOT NULL CHECK (QTNUMEROS >= 0),
    PRIMARY KEY (IDTIPONUM, CDCHAVE, CDOPERADOR, DTDIA)
) /*SQLITE WITHOUT ROWID*/;
