// The word lists of the SQL dialects, compiled in as comma-separated strings.
#include "highlight/SQLKeywordTables.h"

namespace tessel {

namespace {

constexpr const char* SybaseKeywords =
    "absolute,action,add,after,alias,all,allocate,alter,and,any,are,arith_overflow,as,asc,"
    "assertion,async,at,authorization,avg,before,begin,between,bit,bit_length,boolean,both,"
    "breadth,break,browse,bulk,by,call,cascade,cascaded,case,cast,catalog,char,char_convert,"
    "char_length,character,character_length,check,checkpoint,close,clustered,coalesce,collate,"
    "collation,column,commit,completion,compute,confirm,connect,connection,constraint,"
    "constraints,continue,controlrow,convert,corresponding,count,create,cross,current,"
    "current_date,current_time,current_timestamp,current_user,cursor,cycle,data,database,date,"
    "day,dbcc,deallocate,dec,decimal,declare,default,deferrable,deferred,delete,depth,desc,"
    "describe,descriptor,diagnostics,dictionary,dis,disconnect,distinct,domain,double,drop,dummy,"
    "dump,each,else,elseif,en,end,endtran,equals,errlvl,errordata,errorexit,escape,except,"
    "exception,exclusive,exec,execute,exists,exit,exp_row_size,external,extract,false,fetch,"
    "fillfactor,first,float,for,foreign,found,from,full,general,get,global,go,goto,grant,group,"
    "having,holdlock,hour,identity,identity_gap,identity_insert,identity_start,if,ignore,"
    "immediate,in,index,indicator,initially,inner,input,insensitive,insert,install,int,integer,"
    "intersect,interval,into,is,isolation,jar,join,key,kill,language,last,leading,leave,left,"
    "less,level,like,limit,lineno,load,local,lock,loop,lower,match,max,max_rows_per_page,min,"
    "minute,mirror,mirrorexit,modify,module,month,names,national,natural,nchar,new,next,no,"
    "noholdlock,nonclustered,none,not,null,nullif,numeric,numeric_truncation,object,octet_length,"
    "of,off,offsets,oid,old,on,once,online,only,open,operation,operators,option,or,order,others,"
    "outer,output,over,overlaps,pad,parameters,partial,partition,pendant,perm,permanent,plan,"
    "position,precision,preorder,prepare,preserve,primary,print,prior,private,privileges,proc,"
    "procedure,processexit,protected,proxy_table,public,quiesce,raiserror,read,readpast,readtext,"
    "real,reconfigure,recursive,ref,reference,referencing,relative,remove,reorg,replace,"
    "replication,reservepagegap,resignal,restrict,return,returns,revoke,right,role,rollback,"
    "routine,row,rowcount,rows,rule,save,savepoint,schema,scroll,search,second,section,select,"
    "sensitive,sequence,session_user,set,setuser,shared,shutdown,signal,similar,size,smallint,"
    "some,space,sql,sqlcode,sqlerror,sqlexception,sqlstate,statistics,stripe,structure,substring,"
    "sum,syb_identity,syb_restree,system_user,table,temp,temporary,test,textsize,then,there,time,"
    "timestamp,timezone_hour,timezone_minute,to,trailing,tran,transaction,translate,translation,"
    "trigger,trim,true,truncate,tsequal,type,under,union,unique,unknown,unpartition,update,upper,"
    "usage,use,user,user_option,using,value,values,varchar,variable,varying,view,virtual,visible,"
    "wait,waitfor,when,whenever,where,while,with,without,work,write,writetext,year,zone";

constexpr const char* StandardKeywords =
    "active,after,all,alter,and,any,as,asc,ascending,at,auto,base_name,before,begin,between,by,"
    "cache,cast,check,column,commit,committed,computed,conditional,constraint,containing,count,"
    "create,current,cursor,database,debug,declare,default,delete,desc,descending,distinct,do,"
    "domain,drop,else,end,entry_point,escape,exception,execute,exists,exit,external,extract,"
    "filter,for,foreign,from,full,function,generator,grant,group,having,if,in,inactive,index,"
    "inner,insert,into,is,isolation,join,key,left,level,like,merge,names,no,not,null,of,on,only,"
    "or,order,outer,parameter,password,plan,position,primary,privileges,procedure,protected,read,"
    "retain,returns,revoke,right,rollback,schema,select,set,shadow,shared,snapshot,some,suspend,"
    "table,then,to,transaction,trigger,uncommitted,union,unique,update,user,using,view,wait,when,"
    "where,while,with,work";

constexpr const char* InterbaseTypes =
    "BLOB,CHAR,CHARACTER,DATE,DECIMAL,DOUBLE,FLOAT,INTEGER,NUMERIC,SMALLINT,TIME,TIMESTAMP,"
    "VARCHAR";

constexpr const char* InterbaseFunctions = "AVG,CAST,COUNT,GEN_ID,MAX,MIN,SUM,UPPER";

constexpr const char* OracleCommentWords = "REM,REMA,REMAR,REMARK";

constexpr const char* OracleExceptions =
    "ACCESS_INTO_NULL,COLLECTION_IS_NULL,CURSOR_ALREADY_OPEN,DUP_VAL_ON_INDEX,INVALID_CURSOR,"
    "INVALID_NUMBER,LOGIN_DENIED,NO_DATA_FOUND,NOT_LOGGED_ON,OTHERS,PROGRAM_ERROR,"
    "ROWTYPE_MISMATCH,STORAGE_ERROR,SUBSCRIPT_BEYOND_COUNT,SUBSCRIPT_OUTSIDE_LIMIT,"
    "SYS_INVALID_ROWID,TIMEOUT_ON_RESOURCE,TOO_MANY_ROWS,VALUE_ERROR,ZERO_DIVIDE";

#include "highlight/SQLWordListsVendor.inc"

constexpr TSQLWordList StandardLists[] = {
    {"StandardKeywords", skKey, StandardKeywords},
};
constexpr TSQLWordList Interbase6Lists[] = {
    {"InterbaseTypes", skDataType, InterbaseTypes},
    {"InterbaseFunctions", skFunction, InterbaseFunctions},
    {"InterbaseKeywords", skKey, InterbaseKeywords},
};
constexpr TSQLWordList MSSQL7Lists[] = {
    {"MSSQL7Keywords", skKey, MSSQL7Keywords},
    {"MSSQL7Types", skDataType, MSSQL7Types},
    {"MSSQL7Functions", skFunction, MSSQL7Functions},
};
constexpr TSQLWordList MySQLLists[] = {
    {"MySQLKeywords", skKey, MySQLKeywords},
    {"MySQLTypes", skDataType, MySQLTypes},
    {"MySQLFunctions", skFunction, MySQLFunctions},
};
constexpr TSQLWordList OracleLists[] = {
    {"OracleKeywords", skKey, OracleKeywords},
    {"OracleTypes", skDataType, OracleTypes},
    {"OracleExceptions", skException, OracleExceptions},
    {"OracleFunctions", skFunction, OracleFunctions},
    {"OracleCommentWords", skComment, OracleCommentWords},
    {"OracleDefaultPackages", skDefaultPackage, OracleDefaultPackages},
    {"OraclePLSQLKeywords", skPLSQL, OraclePLSQLKeywords},
    {"OracleSQLPlusCommands", skSQLPlus, OracleSQLPlusCommands},
};
constexpr TSQLWordList SybaseLists[] = {
    {"SybaseKeywords", skKey, SybaseKeywords},
};
constexpr TSQLWordList IngresLists[] = {
    {"IngresTypes", skDataType, IngresTypes},
    {"IngresKeywords", skKey, IngresKeywords},
    {"IngresFunctions", skFunction, IngresFunctions},
};
constexpr TSQLWordList MSSQL2KLists[] = {
    {"MSSQL2KKeywords", skKey, MSSQL2KKeywords},
    {"MSSQL2KTypes", skDataType, MSSQL2KTypes},
    {"MSSQL2KFunctions", skFunction, MSSQL2KFunctions},
};

}  // namespace

std::span<const TSQLWordList> DialectWordLists(TSQLDialect dialect) {
    switch (dialect) {
        case sqlStandard:
            return StandardLists;
        case sqlInterbase6:
            return Interbase6Lists;
        case sqlMSSQL7:
            return MSSQL7Lists;
        case sqlMySQL:
            return MySQLLists;
        case sqlOracle:
            return OracleLists;
        case sqlSybase:
            return SybaseLists;
        case sqlIngres:
            return IngresLists;
        case sqlMSSQL2K:
            return MSSQL2KLists;
    }
    return {};
}

}  // namespace tessel
