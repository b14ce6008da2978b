-- A statement being stored looks, day by day, for the lines the account holds already of each day of the
-- file (a bank may list a day's lines of one id in another order from one file to the next): without this
-- index each day read every statement line the account ever held, seconds for an account of years.
CREATE INDEX MOVEXTRATO_DIA ON MOVEXTRATO (CDREDUCONT, DTMOVEXTR);
