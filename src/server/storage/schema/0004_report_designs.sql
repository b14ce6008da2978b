-- The report designs that the clients' report screens list, run and edit, kept here so that every client
-- reads the same ones. CDRELATORIO is the report code a screen shows (BCO111, the entries report);
-- NMTITULO the title the operator picks, unique within the code; DSMODELO the design itself, as JSON (its
-- query with named parameters, its columns and their formats, its grouping and totals, its page captions).
-- CDOPERADOR and DTALTERACAO: who saved it last, and on which day (null for the designs shipped here).
-- The migrator inserts the shipped designs after this script (designs/*.json).

CREATE TABLE MODELOREL (
    CDRELATORIO  VARCHAR(10)  NOT NULL,
    NMTITULO     VARCHAR(60)  NOT NULL,
    DSMODELO     TEXT         NOT NULL,
    CDOPERADOR   VARCHAR(10),
    DTALTERACAO  DATE,
    PRIMARY KEY (CDRELATORIO, NMTITULO)
);
