/* odbc_faults.h - control of the ODBC fault injector.
 *
 * libodbc_faults.so defines the twenty-five ODBC functions that the library
 * calls and forwards each to the driver manager behind it (dlsym with
 * RTLD_NEXT). A program linked with it ahead of libodbc has all its ODBC
 * calls pass through it; calls that the driver manager or the driver make
 * from inside a forwarded call go straight on and are not counted.
 *
 * A rule picks calls of one function, optionally only those whose key
 * argument has a given value, and counts them from 1. It applies to the
 * nth counted call (nth > 0), to every one (nth == 0), or to the |nth|-th
 * and all later ones (nth < 0). What it does:
 *   fail    the driver manager is not called; the call returns rc
 *           (SQLAllocHandle also stores a null handle);
 *   answer  the driver manager is called; its return code is replaced by rc;
 *   text    the driver manager is called; on success the text it returned
 *           is replaced (cut to the caller's buffer, length reported);
 *   number  the driver manager is called; on success the number it
 *           returned is replaced;
 *   break   the driver manager is called with one argument spoiled, so that
 *           the call really fails and leaves its own diagnostic record on
 *           the handle (a bad attribute, info type, column, field, fetch
 *           orientation, direction, data source name or parameter number,
 *           or a statement that does not parse); not for every function;
 *   no_total SQLGetData only: a value cut to the buffer (return code
 *           SQL_SUCCESS_WITH_INFO) reports SQL_NO_TOTAL instead of its length;
 *   info_first SQLGetDiagRec only: the driver manager is not called; the
 *           handle seems to hold two records, 01000 (native 5701) and then
 *           42S02 (native 208), and no third;
 *   short   SQLGetData of text only: a cut chunk holds 1 to 3 bytes fewer
 *           than the buffer would hold;
 *   wide    SQLColAttribute SQL_DESC_TYPE only: text types become wide.
 *
 * Key and number outputs per function:
 *   SQLAllocHandle   key HandleType
 *   SQLSetEnvAttr    key Attribute              value Value
 *   SQLFreeHandle    key HandleType
 *   SQLGetDiagRec    key HandleType             number NativeError, text MessageText
 *   SQLExecDirect                               value TextLength
 *   SQLGetInfo       key InfoType               text InfoValue
 *   SQLRowCount                                 number *RowCount
 *   SQLFreeStmt      key Option
 *   SQLNumResultCols                            number *ColumnCount
 *   SQLColAttribute  key FieldIdentifier        value ColumnNumber,
 *                                               number *NumericAttribute, text CharacterAttribute
 *   SQLFetchScroll   key FetchOrientation       value FetchOffset
 *   SQLGetData       key ColumnNumber           value BufferLength, number *StrLen_or_Ind
 *   SQLGetConnectAttr, SQLGetStmtAttr  key Attribute  value BufferLength, number the 32-bit value
 *   SQLSetConnectAttr, SQLSetStmtAttr  key Attribute  value Value
 *   SQLDataSources   key Direction              value BufferLength1, text ServerName
 *   SQLEndTran       key CompletionType
 *   SQLPrepare                                  value TextLength
 *   SQLNumParams                                number *ParameterCount
 *   SQLBindParameter key ParameterNumber        value BufferLength
 *   SQLConnect, SQLDisconnect, SQLTables, SQLExecute: no key.
 */
#ifndef ODBC_FAULTS_H
#define ODBC_FAULTS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every rule and every count. */
void odbc_fault_reset(void);

/* Each returns the rule's number, or -1 for an unknown function name or a
 * full rule table. */
int odbc_fault_fail(const char *function, long nth, int rc);
int odbc_fault_answer(const char *function, long nth, int rc);
int odbc_fault_text(const char *function, long nth, const char *text);
int odbc_fault_number(const char *function, long nth, long number);
int odbc_fault_no_total(long nth);
int odbc_fault_info_first(long nth);
/* SQLGetData of text, every call: the driver manager is given a buffer 1
 * to 3 bytes shorter (at random, from seed), as a driver gives fewer bytes
 * than the buffer holds rather than split a multi-byte character. fired
 * counts the values so cut. */
int odbc_fault_short_reads(long seed);
/* SQLColAttribute SQL_DESC_TYPE, every call: text types are answered with
 * their wide twins (SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR). A program
 * started with ODBC_FAULTS_WIDE_TEXTS in its environment has this rule from
 * the start. */
int odbc_fault_wide_texts(void);
int odbc_fault_break(const char *function, long nth);

/* Restricts a rule to calls whose key argument equals key. */
void odbc_fault_only_key(int rule, long key);

/* How often a rule has acted. */
unsigned long odbc_fault_fired(int rule);

/* Calls of a function made since the last reset (outermost calls only),
 * and the key and value arguments of the last one. */
unsigned long odbc_fault_calls(const char *function);
unsigned long odbc_fault_total_calls(void);
long odbc_fault_last_key(const char *function);
long odbc_fault_last_value(const char *function);

#ifdef __cplusplus
}
#endif

#endif
