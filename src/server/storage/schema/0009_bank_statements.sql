-- The statements the banks send, imported to be reconciled with the books.
--
-- A statement (EXTRATOBANC) keeps how its file is known, whatever its name (CDCONTEUDO: the SHA-256 of its
-- content, 64 hex digits, one statement per file and account), its format (IDFORMATO: 'O' OFX, 'C' CNAB 240),
-- who imported it and when (milliseconds since 1970 UTC). VRSALDINIC and VRSALDFINA stay NOT NULL: an OFX
-- states no opening balance and some state no closing one, so IDSALDINIC and IDSALDFINA say what each value
-- is: 'I' stated by the file, 'C' worked out from the other balance and the lines, 'A' absent (stored as 0,
-- and never compared with the books); DTSALDINIC and DTSALDFINA the day each stands for (the opening at that
-- day's start, the closing at its end). The statements of before this migration were typed, their balances
-- stated for the period's first and last days.
ALTER TABLE EXTRATOBANC ADD COLUMN CDCONTEUDO VARCHAR(64);
ALTER TABLE EXTRATOBANC ADD COLUMN IDFORMATO VARCHAR(1);
ALTER TABLE EXTRATOBANC ADD COLUMN IDSALDINIC VARCHAR(1) NOT NULL DEFAULT 'I' CHECK (IDSALDINIC IN ('I', 'C', 'A'));
ALTER TABLE EXTRATOBANC ADD COLUMN IDSALDFINA VARCHAR(1) NOT NULL DEFAULT 'I' CHECK (IDSALDFINA IN ('I', 'C', 'A'));
ALTER TABLE EXTRATOBANC ADD COLUMN DTSALDINIC DATE;
ALTER TABLE EXTRATOBANC ADD COLUMN DTSALDFINA DATE;
ALTER TABLE EXTRATOBANC ADD COLUMN CDOPERADOR VARCHAR(10);
ALTER TABLE EXTRATOBANC ADD COLUMN DTHRIMPORT BIGINT;
CREATE UNIQUE INDEX EXTRATOBANC_CONTEUDO ON EXTRATOBANC (CDREDUCONT, CDCONTEUDO);

-- A line keeps the bank's own id (IDBANCO: OFX's FITID, up to 255 characters, or what the reader made of a
-- line without one), unique in the account, so that a second import of an overlapping file adds only the
-- lines that are new; NRLINHAARQ is where it stood in its file. NRVERSAO is raised by the triggers of each
-- dialect's part whenever any program ties a movement to the line or releases one from it: the
-- reconciliation and its undoing carry the version the operator saw and are refused once it changed.
ALTER TABLE MOVEXTRATO ADD COLUMN IDBANCO VARCHAR(255);
ALTER TABLE MOVEXTRATO ADD COLUMN NRLINHAARQ INTEGER;
ALTER TABLE MOVEXTRATO ADD COLUMN NRVERSAO BIGINT NOT NULL DEFAULT 1;
CREATE UNIQUE INDEX MOVEXTRATO_BANCO ON MOVEXTRATO (CDREDUCONT, IDBANCO);

-- The matching reads an account's open movements of a period: those not reconciled, by date.
CREATE INDEX MOVBANCARIO_ABERTOS ON MOVBANCARIO (CDREDUCONT, IDSTCONEXT, DTMOVBANC);
