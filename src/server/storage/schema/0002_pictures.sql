-- The edit masks the database settings keep for kinds of codes, read by the clients (the login context's
-- DBPict) to show those codes. CDPICT is a whole edit mask, "mask;save;blank". Kind 2: ledger account codes
-- (CDCONTCTBL), ten digits grouped as the chart of accounts groups them.

CREATE TABLE PICTDB (
    IDTIPOPICT   INTEGER     NOT NULL PRIMARY KEY,
    DSTIPOPICT   VARCHAR(40) NOT NULL,
    CDPICT       VARCHAR(60) NOT NULL
);

INSERT INTO PICTDB (IDTIPOPICT, DSTIPOPICT, CDPICT) VALUES (2, 'Conta contábil', '9.9.9.99.99999;0; ');
