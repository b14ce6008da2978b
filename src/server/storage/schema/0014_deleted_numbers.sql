-- The numbers of the entries deleted from each account: of the bank movement (NMTABELA 'MOVBANCARIO') and of
-- its credit or debit record ('MOVCREDBANC', 'MOVDEBIBANC'). A number is drawn for one entry and serves it
-- alone: a call sent for a deleted entry names it by its numbers and its version, and a new entry under
-- those numbers would start again at the version the deleted one was listed with. The insertions refuse
-- them; each dialect's triggers keep them, whoever deletes.
CREATE TABLE NUMEROEXCLUIDO (
    CDREDUCONT VARCHAR(3)  NOT NULL,
    NMTABELA   VARCHAR(12) NOT NULL,
    NRNUMERO   VARCHAR(10) NOT NULL,
    PRIMARY KEY (CDREDUCONT, NMTABELA, NRNUMERO)
);
